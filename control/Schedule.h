#pragma once

#include "Conversions.h"
#include "Failures.h"
#include "SwitchSession.h"

#include <nlohmann/json.hpp>

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace qdl::control {

inline const std::array<std::string, 8> ScheduleSlots{"1A", "1B", "2A", "2B", "3A", "3B", "4A", "4B"};

// The repeat modes by their index in the window's list, as scripts name them.
inline const std::array<std::string, 5> RepeatNames{"disable", "once", "everyday", "weekdays", "weekend"};

// One schedule entry of the switch.
struct ScheduleEntry {
    std::string Slot;
    Date Day;
    Time At;
    int Repeat = 0; // index into RepeatNames
    int Code = 0;   // the repeat code as the switch wrote it
    bool On = false;

    int Outlet() const { return Slot[0] - '0'; }
};

// The switch shows other entries than were asked; `Shown` is what it shows for them.
struct ScheduleCheckFailed : CheckFailed {
    ScheduleCheckFailed(const std::string& message, std::vector<ScheduleEntry> shown)
        : CheckFailed(message), Shown(std::move(shown)) {}
    std::vector<ScheduleEntry> Shown;
};

// The date and time separators the switch writes ("-" and ":"), made the process's own as the
// window does at start-up, so that its schedule replies read. Reading an entry does it first.
void UseSwitchSeparators();

// Checks of what a caller typed; each fails with a UsageError naming the text.
void RequireSlot(const std::string& slot);
Date ParseIsoDate(const std::string& text);   // YYYY-MM-DD, a real date
Time ParseIsoTime(const std::string& text);   // HH:MM:SS on the 24-hour clock
int ParseRepeatName(const std::string& text); // one of RepeatNames

std::string IsoDate(const Date& date);
std::string IsoTime(const Time& time);

// JSON as `schedule export` writes it.
void to_json(nlohmann::ordered_json& json, const ScheduleEntry& entry);

// The entry at `index` (from 1) of a file: a UsageError naming the entry (its slot, or its index
// before the slot is read) and the field on a bad field, or on an "outlet" or "code" that
// contradicts the slot or the repeat mode.
ScheduleEntry EntryFromJson(const nlohmann::ordered_json& json, std::size_t index);

ScheduleEntry ReadEntry(SwitchSession& session, const std::string& slot);
std::vector<ScheduleEntry> ReadSchedule(SwitchSession& session);

// SetSchedule with the device's codes, then GetSchedule of that slot; fails with
// ScheduleCheckFailed naming every field the switch shows differently. Returns what it shows.
ScheduleEntry WriteEntry(SwitchSession& session, const ScheduleEntry& entry);

// Repeat mode "disable", everything else as read.
ScheduleEntry ClearEntry(SwitchSession& session, const std::string& slot);

// The eight entries of an exported file, checked whole before anything is sent: each slot once.
// A file that is no JSON fails with the line and column where it stops being JSON.
std::vector<ScheduleEntry> ParseScheduleFile(const std::string& text, const std::string& fileName);

struct ImportResult {
    std::vector<std::string> Written;     // the slots sent, in order
    std::vector<ScheduleEntry> Shown;     // what the switch shows for them afterwards
    std::vector<std::string> Differences; // every field it shows differently, in words
};

// Writes the entries in order, stopping before the next one once `stopRequested` says so, then
// reads back every entry written.
ImportResult ImportSchedule(SwitchSession& session, const std::vector<ScheduleEntry>& entries,
                            const std::function<bool()>& stopRequested = {});

} // namespace qdl::control
