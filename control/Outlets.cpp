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

// The window reads a missing name or any value but "1" as OFF.
OutletStates StatesOf(const ReplyList& reply) {
    OutletStates states{};
    for (int i = 0; i < OutletCount; ++i)
        states[static_cast<std::size_t>(i)] = NamedValue(reply, OutletNames[i]) == "1";
    return states;
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

void Pause(const ConfirmPolicy& policy, std::chrono::milliseconds time) {
    if (time <= std::chrono::milliseconds(0))
        return;
    if (policy.Sleep)
        policy.Sleep(time);
    else
        std::this_thread::sleep_for(time);
}

// Reads until the named outlets show as wanted or the policy's time is up; the last states read.
OutletStates Confirm(SwitchSession& session, const OutletStates& wanted, const std::vector<int>& outlets,
                     const ConfirmPolicy& policy) {
    Pause(policy, policy.PowerWait);
    const auto started = std::chrono::steady_clock::now();
    for (;;) {
        const OutletStates shown = ReadOutlets(session);
        if (Differences(shown, wanted, outlets).empty())
            return shown;
        if (policy.PollFor && std::chrono::steady_clock::now() - started >= *policy.PollFor)
            return shown;
        Pause(policy, policy.PollEvery);
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
    if (reply.empty())
        throw Failure(FailureKind::Protocol, Format("%s answered GetPower without any outlet states.",
                                                    session.Target().Name().c_str()));
    return StatesOf(reply);
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

OutletStates CycleOutlets(SwitchSession& session, const std::vector<int>& outlets,
                          std::chrono::milliseconds offTime, const Wait& wait) {
    OutletChanges off, on;
    for (int outlet : outlets) {
        RequireOutlet(outlet);
        off[outlet] = false;
        on[outlet] = true;
    }
    ChangeOutlets(session, off);
    wait(offTime);
    try {
        return ChangeOutlets(session, on);
    } catch (const OutletCheckFailed& failure) {
        throw OutletCheckFailed(LeftOff(outlets) + failure.what(), failure.Shown);
    } catch (const Failure& failure) {
        throw Failure(failure.Kind(), LeftOff(outlets) + failure.what());
    }
}

} // namespace qdl::control
