#include "Outlets.h"

#include "CommaText.h"
#include "SwitchLock.h"
#include "TextUtil.h"

#include <algorithm>
#include <thread>

namespace qdl::control {
namespace {

const char* const OutletNames[OutletCount] = {"P60", "P61", "P62", "P63"};

const char* OnOff(bool on) {
    return on ? "ON" : "OFF";
}

std::size_t Index(int outlet) {
    return static_cast<std::size_t>(outlet - 1);
}

// Scripts never guess: the reply must name each outlet exactly once with 0 or 1. A page such as
// "<html>Busy, try again</html>" would otherwise read as four outlets OFF, and a change built on
// it would switch them all off. The window keeps its own, lenient rule.
std::vector<std::string> Problems(const ReplyList& reply, OutletStates& states) {
    std::vector<std::string> missing, problems;
    for (int i = 0; i < OutletCount; ++i) {
        const std::string name = OutletNames[i];
        std::vector<std::string> values;
        for (const std::string& item : reply) {
            const auto equals = item.find('=');
            if (equals != std::string::npos && EqualsIgnoringCase(item.substr(0, equals), name))
                values.push_back(item.substr(equals + 1));
        }
        if (values.empty())
            missing.push_back(name);
        else if (values.size() > 1)
            problems.push_back(Format("%s is given %zu times", name.c_str(), values.size()));
        else if (values[0] != "0" && values[0] != "1")
            problems.push_back(values[0].empty() ? name + " is empty"
                                                 : Format("%s is '%s', not 0 or 1", name.c_str(),
                                                          Printable(values[0], 20).c_str()));
        else
            states[static_cast<std::size_t>(i)] = values[0] == "1";
    }
    if (!missing.empty()) {
        std::string names;
        for (std::size_t i = 0; i < missing.size(); ++i)
            names += (i == 0 ? "" : i + 1 == missing.size() ? " and " : ", ") + missing[i];
        problems.insert(problems.begin(), names + (missing.size() == 1 ? " is missing" : " are missing"));
    }
    return problems;
}

std::string Differences(const OutletStates& shown, const OutletStates& wanted,
                        const std::vector<int>& outlets) {
    std::string differences;
    for (int outlet : outlets)
        if (shown[Index(outlet)] != wanted[Index(outlet)])
            differences += Format("%soutlet %d shows %s, not %s", differences.empty() ? "" : "; ", outlet,
                                  OnOff(shown[Index(outlet)]), OnOff(wanted[Index(outlet)]));
    return differences;
}

void Pause(const Wait& sleep, std::chrono::milliseconds time) {
    if (time <= std::chrono::milliseconds(0))
        return;
    if (sleep)
        sleep(time);
    else
        std::this_thread::sleep_for(time);
}

Clock::time_point TimeNow(const Now& clock) {
    return clock ? clock() : Clock::now();
}

// Reads until the named outlets show as wanted or the policy's time is up; the last states read.
OutletStates Confirm(SwitchSession& session, const OutletStates& wanted, const std::vector<int>& outlets,
                     const ConfirmPolicy& policy) {
    Pause(policy.Sleep, policy.PowerWait);
    const auto started = TimeNow(policy.Clock);
    for (;;) {
        const OutletStates shown = ReadOutlets(session);
        if (Differences(shown, wanted, outlets).empty())
            return shown;
        if (policy.PollFor && TimeNow(policy.Clock) - started >= *policy.PollFor)
            return shown;
        Pause(policy.Sleep, policy.PollEvery);
    }
}

// One read-modify-write per attempt, under the switch's lock: the wanted states are built from a
// read made while no other change can run.
OutletStates WriteConfirmed(SwitchSession& session, const std::vector<int>& outlets,
                            const std::function<OutletStates(SwitchSession&)>& wantedNow,
                            const ConfirmPolicy& policy, bool unconfirmedFails = true) {
    const SwitchLock lock(session.Target());
    OutletStates shown{}, wanted{};
    for (int attempt = 0; attempt < std::max(policy.Attempts, 1); ++attempt) {
        wanted = wantedNow(session);
        session.SetPower(StateString(wanted));
        shown = Confirm(session, wanted, outlets, policy);
        if (Differences(shown, wanted, outlets).empty() || !unconfirmedFails)
            return shown;
    }
    throw OutletCheckFailed(Format("%s does not show what was asked: %s.", session.Target().Name().c_str(),
                                   Differences(shown, wanted, outlets).c_str()),
                            shown);
}

std::string LeftOff(const std::vector<int>& outlets) {
    std::string text = OutletsText(outlets);
    text[0] = 'O';
    return text + (outlets.size() == 1 ? " was left OFF: " : " were left OFF: ");
}

std::vector<int> Numbers(const OutletChanges& changes) {
    std::vector<int> outlets;
    for (const auto& change : changes)
        outlets.push_back(change.first);
    return outlets;
}

} // namespace

std::string OutletsText(const std::vector<int>& outlets) {
    std::string numbers;
    for (int outlet : outlets)
        numbers += (numbers.empty() ? "" : ", ") + std::to_string(outlet);
    return (outlets.size() == 1 ? "outlet " : "outlets ") + numbers;
}

void RequireOutlet(int outlet) {
    if (outlet < 1 || outlet > OutletCount)
        throw UsageError(Format("There is no outlet %d: the outlets are 1 to 4.", outlet));
}

std::string StateString(const OutletStates& states) {
    std::string text;
    for (int i = 0; i < OutletCount; ++i)
        text += Format("+%s=%d", OutletNames[i], states[static_cast<std::size_t>(i)] ? 1 : 0);
    return text;
}

OutletStates ReadOutlets(SwitchSession& session) {
    const ReplyList reply = session.GetPower();
    const std::string name = session.Target().Name();
    if (reply.empty())
        throw Failure(FailureKind::Protocol,
                      Format("%s answered GetPower without any outlet states.", name.c_str()));
    OutletStates states{};
    const std::vector<std::string> problems = Problems(reply, states);
    if (problems.empty())
        return states;
    std::string text;
    for (const auto& problem : problems)
        text += (text.empty() ? "" : "; ") + problem;
    throw Failure(FailureKind::Protocol,
                  Format("%s answered GetPower without the four outlet states: %s ('%s').", name.c_str(),
                         text.c_str(), Printable(JoinCommaText(reply), 80).c_str()));
}

OutletStates ChangeOutlets(SwitchSession& session, const OutletChanges& changes,
                           const ConfirmPolicy& policy) {
    for (const auto& change : changes)
        RequireOutlet(change.first);
    return WriteConfirmed(
        session, Numbers(changes),
        [&](SwitchSession& s) {
            OutletStates wanted = ReadOutlets(s);
            for (const auto& [outlet, on] : changes)
                wanted[Index(outlet)] = on;
            return wanted;
        },
        policy);
}

OutletStates ToggleOutlets(SwitchSession& session, const std::vector<int>& outlets) {
    for (int outlet : outlets)
        RequireOutlet(outlet);
    return WriteConfirmed(session, outlets,
                          [&](SwitchSession& s) {
                              OutletStates wanted = ReadOutlets(s);
                              for (int outlet : outlets)
                                  wanted[Index(outlet)] = !wanted[Index(outlet)];
                              return wanted;
                          },
                          {});
}

OutletStates SwitchAll(SwitchSession& session, bool on) {
    OutletStates wanted;
    wanted.fill(on);
    return WriteConfirmed(session, {1, 2, 3, 4}, [&](SwitchSession&) { return wanted; }, {});
}

Held HoldChange(SwitchSession& session, const OutletChanges& changes, const HoldPolicy& policy,
                const std::optional<OutletStates>& shown) {
    const std::vector<int> outlets = Numbers(changes);
    for (int outlet : outlets)
        RequireOutlet(outlet);
    const auto now = [&] { return TimeNow(policy.Clock); };
    const auto started = now();
    ConfirmPolicy apply;
    apply.PowerWait = policy.PowerWait;
    apply.Sleep = policy.Sleep;
    apply.Clock = policy.Clock;
    // Written again whenever a read, not the one right after a write, does not show it: a
    // switch slow to apply a change cannot be told from a writer that undid it, and writing again
    // under the lock is harmless either way.
    const auto write = [&] {
        return WriteConfirmed(
            session, outlets,
            [&](SwitchSession& s) {
                OutletStates next = ReadOutlets(s);
                for (const auto& [outlet, on] : changes)
                    next[Index(outlet)] = on;
                return next;
            },
            apply, false);
    };
    OutletStates wanted{};
    for (const auto& [outlet, on] : changes)
        wanted[Index(outlet)] = on;
    // An outlet to be ON that another writer switches OFF again and again is being fenced: that
    // writer holds its change as this one does, and the fence wins. So ON is written again once,
    // OFF as often as it takes.
    const auto onUndone = [&](const OutletStates& read) {
        return std::any_of(changes.begin(), changes.end(),
                           [&](const auto& change) { return change.second && !read[Index(change.first)]; });
    };
    OutletStates states = shown ? *shown : write();
    int writes = shown ? 0 : 1;
    int onSwitchedOff = 0;
    bool justWritten = !shown;
    bool streak = false;     // the reads since `since` all showed the change
    Clock::time_point since; // the first read of the current streak
    for (;;) {
        const bool holding = Differences(states, wanted, outlets).empty();
        if (!holding && streak && onUndone(states) && ++onSwitchedOff > 1)
            throw OutletCheckFailed(Format("%s does not hold what was asked: %s again; another writer keeps "
                                           "switching it off, and a fence wins over switching on.",
                                           session.Target().Name().c_str(),
                                           Differences(states, wanted, outlets).c_str()),
                                    states);
        if (!holding) {
            streak = false;
        } else if (!streak) {
            streak = true;
            since = now();
        }
        if (holding && now() - since >= policy.Settle)
            return {states, since};
        if (policy.Within && now() - started >= *policy.Within)
            throw OutletCheckFailed(
                Format("%s does not hold what was asked: %s after %d writes within %lld ms.",
                       session.Target().Name().c_str(), Differences(states, wanted, outlets).c_str(), writes,
                       static_cast<long long>(policy.Within->count())),
                states);
        if (holding || justWritten) {
            // Watching: a change just written may still be on its way; one that shows is kept
            // under watch until the window is over, whose last read falls at or after its end.
            const auto left = holding ? policy.Settle - (now() - since) : Clock::duration(policy.Every);
            Pause(policy.Sleep, std::min(policy.Every, std::chrono::ceil<std::chrono::milliseconds>(left)));
            states = ReadOutlets(session);
            justWritten = false;
        } else {
            if (policy.Reapplied)
                policy.Reapplied(Format("%s: %s; applying the change again.", session.Target().Name().c_str(),
                                        Differences(states, wanted, outlets).c_str()));
            states = write();
            ++writes;
            justWritten = true;
        }
    }
}

OutletStates CycleOutlets(SwitchSession& session, const std::vector<int>& outlets,
                          std::chrono::milliseconds offTime, const Wait& wait, const HoldPolicy& settle) {
    OutletChanges off, on;
    for (int outlet : outlets) {
        RequireOutlet(outlet);
        off[outlet] = false;
        on[outlet] = true;
    }
    const auto change = [&](const OutletChanges& changes) {
        return HoldChange(session, changes, settle, ChangeOutlets(session, changes)).States;
    };
    change(off);
    wait(offTime);
    try {
        return change(on);
    } catch (const OutletCheckFailed& failure) {
        throw OutletCheckFailed(LeftOff(outlets) + failure.what(), failure.Shown);
    } catch (const Failure& failure) {
        throw Failure(failure.Kind(), LeftOff(outlets) + failure.what());
    }
}

} // namespace qdl::control
