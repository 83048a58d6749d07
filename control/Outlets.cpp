#include "Outlets.h"

#include "CommaText.h"
#include "Failures.h"
#include "TextUtil.h"

#include <algorithm>
#include <optional>

namespace qdl::control {
namespace {

const char* const OutletNames[OutletCount] = {"P60", "P61", "P62", "P63"};

const char* OnOff(bool on) {
    return on ? "ON" : "OFF";
}

// The window reads a missing name or any value but "1" as OFF.
OutletStates StatesOf(const ReplyList& reply) {
    OutletStates states{};
    for (int i = 0; i < OutletCount; ++i)
        states[static_cast<std::size_t>(i)] = NamedValue(reply, OutletNames[i]) == "1";
    return states;
}

bool Names(const ReplyList& reply, const std::string& name) {
    const std::string prefix = name + "=";
    return std::any_of(reply.begin(), reply.end(), [&](const std::string& item) {
        return EqualsIgnoringCase(item.substr(0, prefix.size()), prefix);
    });
}

// The states in a reply, when it names all four outlets.
std::optional<OutletStates> StatesIn(const ReplyList& reply) {
    if (!std::all_of(std::begin(OutletNames), std::end(OutletNames),
                     [&](const char* name) { return Names(reply, name); }))
        return std::nullopt;
    return StatesOf(reply);
}

// What the switch shows after a SetPower: its answer where that names the outlets, else a read.
OutletStates ShownAfter(SwitchSession& session, const ReplyList& answer) {
    if (auto states = StatesIn(answer))
        return *states;
    return ReadOutlets(session);
}

void RequireShown(const OutletStates& shown, const OutletStates& wanted, const std::vector<int>& outlets) {
    std::string differences;
    for (int outlet : outlets) {
        const auto index = static_cast<std::size_t>(outlet - 1);
        if (shown[index] != wanted[index])
            differences += Format("%soutlet %d shows %s, not %s", differences.empty() ? "" : "; ", outlet,
                                  OnOff(shown[index]), OnOff(wanted[index]));
    }
    if (!differences.empty())
        throw CheckFailed("The switch does not show what was asked: " + differences + ".");
}

std::vector<int> Numbers(const OutletChanges& changes) {
    std::vector<int> outlets;
    for (const auto& change : changes)
        outlets.push_back(change.first);
    return outlets;
}

} // namespace

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
        throw std::runtime_error(NoUsableReply);
    return StatesOf(reply);
}

OutletStates ChangeOutlets(SwitchSession& session, const OutletChanges& changes) {
    for (const auto& change : changes)
        RequireOutlet(change.first);
    OutletStates wanted = ReadOutlets(session);
    for (const auto& [outlet, on] : changes)
        wanted[static_cast<std::size_t>(outlet - 1)] = on;
    const OutletStates shown = ShownAfter(session, session.SetPower(StateString(wanted)));
    RequireShown(shown, wanted, Numbers(changes));
    return shown;
}

OutletStates ToggleOutlets(SwitchSession& session, const std::vector<int>& outlets) {
    for (int outlet : outlets)
        RequireOutlet(outlet);
    const OutletStates now = ReadOutlets(session);
    OutletStates wanted = now;
    for (int outlet : outlets)
        wanted[static_cast<std::size_t>(outlet - 1)] = !now[static_cast<std::size_t>(outlet - 1)];
    const OutletStates shown = ShownAfter(session, session.SetPower(StateString(wanted)));
    RequireShown(shown, wanted, outlets);
    return shown;
}

OutletStates SwitchAll(SwitchSession& session, bool on) {
    OutletStates wanted;
    wanted.fill(on);
    session.SetPower(StateString(wanted));
    const OutletStates shown = ReadOutlets(session);
    RequireShown(shown, wanted, {1, 2, 3, 4});
    return shown;
}

OutletStates CycleOutlets(SwitchSession& session, const std::vector<int>& outlets,
                          std::chrono::milliseconds offTime,
                          const std::function<void(std::chrono::milliseconds)>& wait) {
    OutletChanges off, on;
    for (int outlet : outlets) {
        RequireOutlet(outlet);
        off[outlet] = false;
        on[outlet] = true;
    }
    ChangeOutlets(session, off);
    wait(offTime);
    std::string which;
    for (int outlet : outlets)
        which += (which.empty() ? "" : ", ") + std::to_string(outlet);
    const std::string leftOff = Format(
        outlets.size() == 1 ? "Outlet %s was left OFF: " : "Outlets %s were left OFF: ", which.c_str());
    try {
        return ChangeOutlets(session, on);
    } catch (const CheckFailed& failure) {
        throw CheckFailed(leftOff + failure.what());
    } catch (const std::runtime_error& failure) {
        throw std::runtime_error(leftOff + failure.what());
    }
}

} // namespace qdl::control
