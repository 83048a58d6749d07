#include "SwitchState.h"

#include "Conversions.h"
#include "Files.h"
#include "TextUtil.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace qdl::standin {
namespace {

constexpr const char* NoItems = "<html></html>";
constexpr std::int64_t LongestCatchUp = 8 * 86400;
const char* const OutletNames[] = {"P60", "P61", "P62", "P63"};

using Fields = std::map<std::string, std::string>;

bool AllDigits(const std::string& text, std::size_t minLength, std::size_t maxLength) {
    return text.size() >= minLength && text.size() <= maxLength &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "name=value" tokens joined by "+"; nothing when a token has no name or a name comes twice.
std::optional<Fields> ParseFields(const std::string& text) {
    Fields fields;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = std::min(text.find('+', start), text.size());
        const std::string token = text.substr(start, end - start);
        const auto equals = token.find('=');
        if (equals == std::string::npos || equals == 0 ||
            !fields.emplace(token.substr(0, equals), token.substr(equals + 1)).second)
            return std::nullopt;
        start = end + 1;
    }
    return fields;
}

std::optional<int> SlotIndex(const std::string& slot) {
    for (int i = 0; i < SwitchState::SlotCount; ++i)
        if (slot == SwitchState::Slots[static_cast<std::size_t>(i)])
            return i;
    return std::nullopt;
}

using json = nlohmann::json;

json EntryJson(const ScheduleEntry& entry) {
    return {{"date", Format("%04d-%02d-%02d", entry.At.Year, entry.At.Month, entry.At.Day)},
            {"time", Format("%02d:%02d:%02d", entry.At.Hour, entry.At.Minute, entry.At.Second)},
            {"code", entry.RepeatCode},
            {"on", entry.On}};
}

ScheduleEntry EntryOf(const json& item) {
    ScheduleEntry entry;
    const std::string date = item.at("date").get<std::string>(), time = item.at("time").get<std::string>();
    CivilTime& at = entry.At;
    if (std::sscanf(date.c_str(), "%4d-%2d-%2d", &at.Year, &at.Month, &at.Day) != 3 ||
        std::sscanf(time.c_str(), "%2d:%2d:%2d", &at.Hour, &at.Minute, &at.Second) != 3 ||
        !IsValidDate(at.Year, at.Month, at.Day) || at.Hour > 23 || at.Minute > 59 || at.Second > 59)
        throw std::runtime_error("an entry's date or time is no real date or time");
    entry.RepeatCode = item.at("code").get<int>();
    entry.On = item.at("on").get<bool>();
    if (entry.RepeatCode < 0 || entry.RepeatCode > 255)
        throw std::runtime_error("an entry's code is not 0 to 255");
    return entry;
}

bool DueOn(const ScheduleEntry& entry, std::int64_t day) {
    const std::int64_t first = DaysFromCivil(entry.At.Year, entry.At.Month, entry.At.Day);
    if (entry.RepeatCode & 0x80)
        return day == first;
    return day >= first && ((entry.RepeatCode & 0x7F) >> WeekdayOf(day) & 1) != 0;
}

std::string StateText(const std::array<bool, 4>& outlets, const std::array<ScheduleEntry, 8>& schedule) {
    json entries = json::array();
    for (const ScheduleEntry& entry : schedule)
        entries.push_back(EntryJson(entry));
    return json{{"outlets", outlets}, {"schedule", entries}}.dump(2) + "\n";
}

} // namespace

const std::array<const char*, SwitchState::SlotCount> SwitchState::Slots{"1A", "1B", "2A", "2B",
                                                                         "3A", "3B", "4A", "4B"};

SwitchState::SwitchState(const CivilTime& now) : clock_(SecondsOf(now)) {
    for (ScheduleEntry& entry : schedule_)
        entry.At = CivilTime{2006, 11, 27, 8, 5, 5};
}

void SwitchState::KeepIn(const std::string& fileName) {
    std::lock_guard lock(mutex_);
    std::optional<std::string> text;
    try {
        text = platform::ReadWholeFile(fileName);
    } catch (const platform::FileError& failure) {
        throw std::runtime_error(
            Format("the state file %s cannot be read: %s", fileName.c_str(), failure.Reason.c_str()));
    }
    if (text) {
        try {
            const json document = json::parse(*text);
            const auto outlets = document.at("outlets").get<std::vector<bool>>();
            const auto& schedule = document.at("schedule");
            if (outlets.size() != outlets_.size() || !schedule.is_array() ||
                schedule.size() != schedule_.size())
                throw std::runtime_error("it needs 4 outlets and 8 schedule entries");
            std::copy(outlets.begin(), outlets.end(), outlets_.begin());
            for (std::size_t i = 0; i < schedule_.size(); ++i)
                schedule_[i] = EntryOf(schedule[i]);
        } catch (const std::exception& failure) {
            throw std::runtime_error(
                Format("the state file %s is damaged: %s", fileName.c_str(), failure.what()));
        }
    }
    stateFile_ = fileName;
    Commit(outlets_, schedule_);
}

void SwitchState::Stick(int outlet) {
    std::lock_guard lock(mutex_);
    stuck_.at(static_cast<std::size_t>(outlet - 1)) = true;
}

// Every change of the outlets goes through here: a stuck outlet keeps its state.
SwitchState::Outlets SwitchState::Unstuck(Outlets states) const {
    for (std::size_t i = 0; i < states.size(); ++i)
        if (stuck_[i])
            states[i] = outlets_[i];
    return states;
}

void SwitchState::Commit(const Outlets& outlets, const Schedule& schedule) {
    if (!stateFile_.empty()) {
        try {
            platform::ReplaceWholeFile(stateFile_, StateText(outlets, schedule),
                                       platform::FileAccess::AsBefore);
        } catch (const platform::FileError& failure) {
            throw std::runtime_error(Format("the state file %s cannot be written: %s; nothing was changed",
                                            stateFile_.c_str(), failure.Reason.c_str()));
        }
    }
    outlets_ = outlets;
    schedule_ = schedule;
}

std::string SwitchState::Command(const std::string& query) {
    std::lock_guard lock(mutex_);
    if (query.rfind("CMD=", 0) != 0)
        return NoItems;
    const auto plus = query.find('+');
    const std::string command = query.substr(4, plus == std::string::npos ? plus : plus - 4);
    const std::string fields = plus == std::string::npos ? std::string() : query.substr(plus + 1);
    std::optional<std::string> reply;
    if (command == "GetPower" && fields.empty())
        reply = PowerReply();
    else if (command == "SetPower")
        reply = SetPower(fields);
    else if (command == "GetSchedule")
        reply = GetSchedule(fields);
    else if (command == "SetSchedule")
        reply = SetSchedule(fields);
    return reply.value_or(NoItems);
}

std::string SwitchState::PowerReply() const {
    return Format("<html>P60=%d,P61=%d,P62=%d,P63=%d</html>", outlets_[0], outlets_[1], outlets_[2],
                  outlets_[3]);
}

std::string SwitchState::EntryReply(int index) const {
    const ScheduleEntry& entry = schedule_[static_cast<std::size_t>(index)];
    return Format("<html>%04d-%02d-%02d,%02d:%02d:%02d-%03d-%d</html>", entry.At.Year, entry.At.Month,
                  entry.At.Day, entry.At.Hour, entry.At.Minute, entry.At.Second, entry.RepeatCode,
                  entry.On ? 1 : 0);
}

std::optional<std::string> SwitchState::SetPower(const std::string& text) {
    const auto fields = ParseFields(text);
    if (!fields || fields->empty())
        return std::nullopt;
    Outlets states = outlets_;
    for (const auto& [name, value] : *fields) {
        const auto outlet = std::find(std::begin(OutletNames), std::end(OutletNames), name);
        if (outlet == std::end(OutletNames) || (value != "0" && value != "1"))
            return std::nullopt;
        states[static_cast<std::size_t>(outlet - std::begin(OutletNames))] = value == "1";
    }
    Commit(Unstuck(states), schedule_);
    return PowerReply();
}

std::optional<std::string> SwitchState::GetSchedule(const std::string& text) const {
    const auto fields = ParseFields(text);
    if (!fields || fields->size() != 1 || !fields->count("Power"))
        return std::nullopt;
    const auto index = SlotIndex(fields->at("Power"));
    return index ? std::optional(EntryReply(*index)) : std::nullopt;
}

std::optional<std::string> SwitchState::SetSchedule(const std::string& text) {
    const auto fields = ParseFields(text);
    static const char* const Names[] = {"Power", "YY", "MM", "DD", "HH", "MN", "SS", "PARAM", "ONOFF"};
    if (!fields || fields->size() != std::size(Names) ||
        !std::all_of(std::begin(Names), std::end(Names),
                     [&](const char* name) { return fields->count(name) != 0; }))
        return std::nullopt;
    const Fields& f = *fields;
    const auto index = SlotIndex(f.at("Power"));
    if (!index || !AllDigits(f.at("YY"), 4, 4) || !AllDigits(f.at("PARAM"), 1, 3) ||
        (f.at("ONOFF") != "0" && f.at("ONOFF") != "1"))
        return std::nullopt;
    for (const char* name : {"MM", "DD", "HH", "MN", "SS"})
        if (!AllDigits(f.at(name), 2, 2))
            return std::nullopt;
    ScheduleEntry entry;
    entry.At = {std::stoi(f.at("YY")), std::stoi(f.at("MM")), std::stoi(f.at("DD")),
                std::stoi(f.at("HH")), std::stoi(f.at("MN")), std::stoi(f.at("SS"))};
    entry.RepeatCode = std::stoi(f.at("PARAM"));
    entry.On = f.at("ONOFF") == "1";
    if (!IsValidDate(entry.At.Year, entry.At.Month, entry.At.Day) || entry.At.Hour > 23 ||
        entry.At.Minute > 59 || entry.At.Second > 59 || entry.RepeatCode > 255)
        return std::nullopt;
    Schedule schedule = schedule_;
    schedule[static_cast<std::size_t>(*index)] = entry;
    Commit(outlets_, schedule);
    return EntryReply(*index);
}

void SwitchState::Tick(const CivilTime& now) {
    std::lock_guard lock(mutex_);
    const std::int64_t until = SecondsOf(now);
    const std::int64_t from = std::max(clock_, until - LongestCatchUp);
    struct Due {
        std::int64_t At;
        int Index;
    };
    std::vector<Due> due;
    for (std::int64_t day = from / 86400; from < until && day <= until / 86400; ++day) {
        for (int index = 0; index < SlotCount; ++index) {
            const ScheduleEntry& entry = schedule_[static_cast<std::size_t>(index)];
            const std::int64_t at =
                day * 86400 + entry.At.Hour * 3600 + entry.At.Minute * 60 + entry.At.Second;
            if (at > from && at <= until && DueOn(entry, day))
                due.push_back({at, index});
        }
    }
    std::stable_sort(due.begin(), due.end(), [](const Due& a, const Due& b) { return a.At < b.At; });
    Outlets states = outlets_;
    for (const Due& event : due)
        states[static_cast<std::size_t>(event.Index / 2)] =
            schedule_[static_cast<std::size_t>(event.Index)].On;
    states = Unstuck(states);
    if (states != outlets_)
        Commit(states, schedule_);
    clock_ = until;
}

bool SwitchState::Outlet(int outlet) const {
    std::lock_guard lock(mutex_);
    return outlets_.at(static_cast<std::size_t>(outlet - 1));
}

void SwitchState::SetOutlet(int outlet, bool on) {
    std::lock_guard lock(mutex_);
    Outlets states = outlets_;
    states.at(static_cast<std::size_t>(outlet - 1)) = on;
    Commit(Unstuck(states), schedule_);
}

void SwitchState::ToggleOutlet(int outlet) {
    std::lock_guard lock(mutex_);
    Outlets states = outlets_;
    auto& state = states.at(static_cast<std::size_t>(outlet - 1));
    state = !state;
    Commit(Unstuck(states), schedule_);
}

ScheduleEntry SwitchState::Entry(int index) const {
    std::lock_guard lock(mutex_);
    return schedule_.at(static_cast<std::size_t>(index));
}

} // namespace qdl::standin
