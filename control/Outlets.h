#pragma once

#include "Failures.h"
#include "SwitchSession.h"

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace qdl::control {

inline constexpr int OutletCount = 4;

// Outlet n (1 to 4) at index n - 1: true for ON.
using OutletStates = std::array<bool, OutletCount>;

// The wanted state of some outlets, by outlet number.
using OutletChanges = std::map<int, bool>;

using Wait = std::function<void(std::chrono::milliseconds)>;

// How a change is confirmed: by fresh reads of the outlets, never by the write's own answer, since
// another program may write to the same switch.
struct ConfirmPolicy {
    // Writes, each with its own read before and its own confirming reads.
    int Attempts = 1;
    // After each write, before the first confirming read.
    std::chrono::milliseconds PowerWait{0};
    // Between confirming reads, and how long they go on (0: one read; nothing: until confirmed).
    std::chrono::milliseconds PollEvery{0};
    std::optional<std::chrono::milliseconds> PollFor{std::chrono::milliseconds(0)};
    Wait Sleep;
};

// The switch shows other states than were asked; `Shown` is what its last read showed.
struct OutletCheckFailed : CheckFailed {
    OutletCheckFailed(const std::string& message, const OutletStates& shown)
        : CheckFailed(message), Shown(shown) {}
    OutletStates Shown;
};

// Fails with a UsageError unless 1 <= outlet <= 4.
void RequireOutlet(int outlet);

// "+P60=1+P61=0+P62=0+P63=1": what SetPower sends for these states.
std::string StateString(const OutletStates& states);

// The four states the switch reports. Unless the reply names each of P60 to P63 once with 0 or 1,
// this fails (kind Protocol) saying what was missing or wrong: what a reply does not show is
// unknown, never OFF.
OutletStates ReadOutlets(SwitchSession& session);

// The read-modify-writes below hold the switch's lock (SwitchLock) from the first read to the
// last confirming one. Each returns what the confirming read shows, or fails with
// OutletCheckFailed when no read within the policy shows the named outlets as asked.

// Changes only the named outlets; the others are written back as the switch showed them.
OutletStates ChangeOutlets(SwitchSession& session, const OutletChanges& changes,
                           const ConfirmPolicy& policy = {});

// Turns the named outlets to the opposite of what the switch shows.
OutletStates ToggleOutlets(SwitchSession& session, const std::vector<int>& outlets);

// All four on or off with the window's fixed string.
OutletStates SwitchAll(SwitchSession& session, bool on);

// Off and confirmed, `wait` (not holding the lock), then on and confirmed. When the second step
// fails, the failure says plainly that the outlets were left OFF.
OutletStates CycleOutlets(SwitchSession& session, const std::vector<int>& outlets,
                          std::chrono::milliseconds offTime, const Wait& wait);

// "outlet 2" or "outlets 1, 3".
std::string OutletsText(const std::vector<int>& outlets);

} // namespace qdl::control
