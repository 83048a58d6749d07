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
using Clock = std::chrono::steady_clock;
using Now = std::function<Clock::time_point()>;

// How a change is confirmed: by fresh reads of the outlets, never by the write's own answer, since
// another program may write to the same switch.
struct ConfirmPolicy {
    // Writes, each with its own read before and its own confirming reads.
    int Attempts = 1;
    // Between confirming reads, and how long they go on (0: one read; nothing: until confirmed).
    std::chrono::milliseconds PollEvery{0};
    std::optional<std::chrono::milliseconds> PollFor{std::chrono::milliseconds(0)};
    Wait Sleep;
    Now Clock; // the steady clock unless a test tells the time
};

// How a change is applied and then held against other writers, counted as the fence-agents
// library counts: each attempt writes once, waits `PowerWait`, then reads every `Every` for up to
// `PowerTimeout` until the switch shows the change; it is never written again while a write is
// still being confirmed.
//
// The switch sets all four outlets in one command, so a writer on another host that read before
// this change and writes after it undoes it; the per-host lock cannot order writers on different
// hosts. So once the change shows, it is held: read every `Every` for `Settle` (the longest
// read-to-write time of another writer: connect 1 s plus a reply's 5 s). Whenever a read does not
// show it, it is applied again (a fresh read and write under the lock, confirmed as above) and the
// window starts over, at most `Reapplies` times. An outlet to be ON that is switched OFF a second
// time after it showed ON is left to that writer, a fence that holds its change too. The hold has
// its own time, `Settle` plus `PowerWait + PowerTimeout + Settle` per re-apply, never charged to
// the attempts. A `Settle` of zero holds nothing.
struct HoldPolicy {
    std::chrono::milliseconds Settle{0};
    std::chrono::milliseconds Every{1000};
    std::chrono::milliseconds PowerWait{0};
    // Reads after each write (nothing: until the change shows).
    std::optional<std::chrono::milliseconds> PowerTimeout;
    int Attempts = 1;
    int Reapplies = 2;
    // Told each time the change is applied again, and why.
    std::function<void(const std::string&)> Reapplied;
    Wait Sleep;
    Now Clock;
};

struct Held {
    OutletStates States;
    Clock::time_point Since; // when the read that began the window was made
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

// The same rule for a reply already read, from the switch `name`.
OutletStates OutletsIn(const ReplyList& reply, const std::string& name);

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

// Applies `changes` (unless `shown` says the switch shows them already) and holds them as the
// policy says; what the last read shows, and since when it has held. Fails with OutletCheckFailed
// saying which: the change never showed, it was undone more often than the policy re-applies it,
// or the hold's time ran out while it held. The switch's lock is held only while a change is read
// and written, never through a power wait or the window.
Held HoldChange(SwitchSession& session, const OutletChanges& changes, const HoldPolicy& policy,
                const std::optional<OutletStates>& shown = std::nullopt);

// Off and confirmed, `wait` (not holding the lock), then on and confirmed, each half held for
// `settle` when it is not zero. When the second step fails, the failure says plainly that the
// outlets were left OFF.
OutletStates CycleOutlets(SwitchSession& session, const std::vector<int>& outlets,
                          std::chrono::milliseconds offTime, const Wait& wait, const HoldPolicy& settle = {});

// "outlet 2" or "outlets 1, 3".
std::string OutletsText(const std::vector<int>& outlets);

} // namespace qdl::control
