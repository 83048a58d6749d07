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
                            const ConfirmPolicy& policy) {
    const SwitchLock lock(session.Target());
    OutletStates shown{}, wanted{};
    for (int attempt = 0; attempt < std::max(policy.Attempts, 1); ++attempt) {
        wanted = wantedNow(session);
        session.SetPower(StateString(wanted));
        shown = Confirm(session, wanted, outlets, policy);
        if (Differences(shown, wanted, outlets).empty())
            return shown;
    }
    throw OutletCheckFailed(Format("%s does not show what was asked: %s.", session.Target().Name().c_str(),
                                   Differences(shown, wanted, outlets).c_str()),
                            shown);
}

// One read-modify-write under the switch's lock, which is let go as soon as the write is sent: a
// power wait or a hold spent holding it would make every other change on this host wait for
// nothing.
void WriteLocked(SwitchSession& session, const OutletChanges& changes) {
    const SwitchLock lock(session.Target());
    OutletStates next = ReadOutlets(session);
    for (const auto& [outlet, on] : changes)
        next[Index(outlet)] = on;
    session.SetPower(StateString(next));
}

// After a write, as the fence-agents library polls: the power wait, then a read every `Every`
// until the change shows, giving up once `PowerTimeout` has passed after a read that did not.
bool ShownAfterWrite(SwitchSession& session, const OutletStates& wanted, const std::vector<int>& outlets,
                     const HoldPolicy& policy, OutletStates& states) {
    Pause(policy.Sleep, policy.PowerWait);
    const auto started = TimeNow(policy.Clock);
    for (;;) {
        states = ReadOutlets(session);
        if (Differences(states, wanted, outlets).empty())
            return true;
        Pause(policy.Sleep, policy.Every);
        if (policy.PowerTimeout && TimeNow(policy.Clock) - started >= *policy.PowerTimeout)
            return false;
    }
}

std::string Seconds(Clock::duration time) {
    return Format("%.1f s", std::chrono::duration<double>(time).count());
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

OutletStates OutletsIn(const ReplyList& reply, const std::string& name) {
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

OutletStates ReadOutlets(SwitchSession& session) {
    return OutletsIn(session.GetPower(), session.Target().Name());
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
    const std::string name = session.Target().Name();
    OutletStates wanted{};
    for (const auto& [outlet, on] : changes)
        wanted[Index(outlet)] = on;
    const auto pollText = [&] {
        return Format("a power wait of %s and reads for %s", Seconds(policy.PowerWait).c_str(),
                      policy.PowerTimeout ? Seconds(*policy.PowerTimeout).c_str() : "as long as it took");
    };

    OutletStates states = shown.value_or(OutletStates{});
    int writes = 0;
    bool showing = shown.has_value();
    while (!showing && writes < std::max(policy.Attempts, 1)) {
        WriteLocked(session, changes);
        ++writes;
        showing = ShownAfterWrite(session, wanted, outlets, policy, states);
    }
    if (!showing)
        throw OutletCheckFailed(Format("%s never showed what was asked: %s after %d %s, each followed by %s.",
                                       name.c_str(), Differences(states, wanted, outlets).c_str(), writes,
                                       writes == 1 ? "write" : "writes", pollText().c_str()),
                                states);

    auto since = now();
    std::optional<Clock::time_point> holdEnds;
    if (policy.PowerTimeout)
        holdEnds = since + policy.Settle +
                   policy.Reapplies * (policy.PowerWait + *policy.PowerTimeout + policy.Settle);
    // An outlet to be ON that another writer switches OFF again is being fenced: that writer holds
    // its change as this one does, and the fence wins. So ON is applied again once only.
    const auto onUndone = [&](const OutletStates& read) {
        return std::any_of(changes.begin(), changes.end(),
                           [&](const auto& change) { return change.second && !read[Index(change.first)]; });
    };
    int undone = 0;
    for (;;) {
        const auto held = now() - since;
        if (held >= policy.Settle)
            return {states, since};
        if (holdEnds && now() >= *holdEnds)
            throw OutletCheckFailed(
                Format("%s held what was asked for %s of the %s settle time when the time for holding it "
                       "ran out; %s of the window were left.",
                       name.c_str(), Seconds(held).c_str(), Seconds(policy.Settle).c_str(),
                       Seconds(policy.Settle - held).c_str()),
                states);
        // The last read of the window falls at or after its end.
        Pause(policy.Sleep,
              std::min(policy.Every, std::chrono::ceil<std::chrono::milliseconds>(policy.Settle - held)));
        states = ReadOutlets(session);
        const std::string differences = Differences(states, wanted, outlets);
        if (differences.empty())
            continue;
        ++undone;
        if (onUndone(states) && undone > 1)
            throw OutletCheckFailed(Format("%s does not hold what was asked: %s again; another writer keeps "
                                           "switching it off, and a fence wins over switching on.",
                                           name.c_str(), differences.c_str()),
                                    states);
        if (undone > policy.Reapplies)
            throw OutletCheckFailed(Format("%s showed what was asked, but it was undone %d times: %s.",
                                           name.c_str(), undone, differences.c_str()),
                                    states);
        if (policy.Reapplied)
            policy.Reapplied(Format("%s: %s; applying the change again.", name.c_str(), differences.c_str()));
        WriteLocked(session, changes);
        if (!ShownAfterWrite(session, wanted, outlets, policy, states))
            throw OutletCheckFailed(
                Format("%s showed what was asked, but it was undone, and applied again it "
                       "did not show after %s: %s.",
                       name.c_str(), pollText().c_str(), Differences(states, wanted, outlets).c_str()),
                states);
        since = now();
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
