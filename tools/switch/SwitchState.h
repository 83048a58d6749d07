#pragma once

#include "CivilTime.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace qdl::standin {

// One schedule entry: at its date and time (once, or on the weekdays of its repeat code from
// that date on) it switches its outlet on or off.
struct ScheduleEntry {
    CivilTime At;
    int RepeatCode = 0; // 0x80 once; bits 0-6 Monday to Sunday; 0 never
    bool On = false;
};

// The switch itself: four outlets, eight schedule entries ("1A" ... "4B") and its clock.
// Thread-safe: the web server answers on several threads while the clock ticks on another.
class SwitchState {
public:
    explicit SwitchState(const CivilTime& now);

    // Keeps the outlets and the schedule in `fileName` across restarts: reads it when it exists
    // (failing with the reason when it cannot be read or is damaged), and replaces it as one step
    // on every change from now on. A change whose file cannot be written fails and is not made:
    // what the switch answers must survive a restart.
    void KeepIn(const std::string& fileName);

    // That outlet ignores every change from now on; its state is still shown.
    void Stick(int outlet);

    // The reply body to the query of /Set.cmd (the raw text after "?", such as
    // "CMD=SetPower+P60=1+P61=0+P62=0+P63=1"); "<html></html>" for a malformed command.
    std::string Command(const std::string& query);

    // Moves the clock to `now`, carrying out every entry that fell due since the last tick. When
    // the state file cannot be written this fails and leaves the clock, so the next tick tries again.
    void Tick(const CivilTime& now);

    bool Outlet(int outlet) const; // 1..4
    void SetOutlet(int outlet, bool on);
    void ToggleOutlet(int outlet);
    ScheduleEntry Entry(int index) const;

    static constexpr int SlotCount = 8;
    static const std::array<const char*, SlotCount> Slots;

private:
    using Outlets = std::array<bool, 4>;
    using Schedule = std::array<ScheduleEntry, 8>;

    std::string PowerReply() const;
    // The states with stuck outlets kept as they are.
    Outlets Unstuck(Outlets states) const;
    // Saves first, then takes the new states: a failure to save leaves both as they were.
    void Commit(const Outlets& outlets, const Schedule& schedule);
    std::string EntryReply(int index) const;
    std::optional<std::string> SetPower(const std::string& fields);
    std::optional<std::string> GetSchedule(const std::string& fields) const;
    std::optional<std::string> SetSchedule(const std::string& fields);

    mutable std::mutex mutex_;
    Outlets outlets_{};
    Outlets stuck_{};
    std::string stateFile_;
    Schedule schedule_{};
    std::int64_t clock_;
};

} // namespace qdl::standin
