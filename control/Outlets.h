#pragma once

#include "SwitchSession.h"

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <vector>

namespace qdl::control {

inline constexpr int OutletCount = 4;

// Outlet n (1 to 4) at index n - 1: true for ON.
using OutletStates = std::array<bool, OutletCount>;

// The wanted state of some outlets, by outlet number.
using OutletChanges = std::map<int, bool>;

// Fails with a UsageError unless 1 <= outlet <= 4.
void RequireOutlet(int outlet);

// "+P60=1+P61=0+P62=0+P63=1": what SetPower sends for these states.
std::string StateString(const OutletStates& states);

// The four states the switch reports; a reply without items fails with the window's text.
OutletStates ReadOutlets(SwitchSession& session);

// Changes only the named outlets: reads the four states, sends them with the changes, then
// checks that the switch shows what was asked (reading again where its answer holds no states).
// Returns what the switch shows; fails with CheckFailed when that differs.
OutletStates ChangeOutlets(SwitchSession& session, const OutletChanges& changes);

// Turns the named outlets to the opposite of what the switch reports.
OutletStates ToggleOutlets(SwitchSession& session, const std::vector<int>& outlets);

// All four on or off with the fixed string, then a read to check.
OutletStates SwitchAll(SwitchSession& session, bool on);

// Off and checked, a wait, then on and checked. When the second step fails the failure says
// plainly that the outlets were left OFF.
OutletStates CycleOutlets(SwitchSession& session, const std::vector<int>& outlets,
                          std::chrono::milliseconds offTime,
                          const std::function<void(std::chrono::milliseconds)>& wait);

} // namespace qdl::control
