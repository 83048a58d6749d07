#pragma once

#include "Call.h"
#include "Outlets.h"
#include "Schedule.h"
#include "SwitchTarget.h"

#include <chrono>
#include <vector>

namespace qdl::python {

// What Python's Switch does, each on a session of its own, so that one Switch serves several
// threads; changes are qdlctl's checked changes under the switch's lock. Every failure is a
// control::Failure naming the switch.
control::OutletStates ReadOutlets(const control::SwitchTarget& target, Call& call);
control::OutletStates ChangeOutlets(const control::SwitchTarget& target, Call& call,
                                    const control::OutletChanges& changes);
// A stop during the off time cuts it short; the outlets are switched on again all the same.
control::OutletStates CycleOutlets(const control::SwitchTarget& target, Call& call,
                                   const std::vector<int>& outlets, std::chrono::milliseconds offTime);
std::vector<control::ScheduleEntry> ReadSchedule(const control::SwitchTarget& target, Call& call);
// Writes the entries in order (a stop ends it before the next one), then reads each one written
// back: a ScheduleCheckFailed lists what the switch shows otherwise. Returns what it shows.
std::vector<control::ScheduleEntry> WriteSchedule(const control::SwitchTarget& target, Call& call,
                                                  const std::vector<control::ScheduleEntry>& entries);

} // namespace qdl::python
