#include "SwitchOperations.h"

#include "SwitchSession.h"
#include "TextUtil.h"

#include <functional>

namespace qdl::python {
namespace {

using control::OutletStates;
using control::SwitchTarget;

// "outlet 1 ON, 2 OFF, 3 ON, 4 ON".
std::string StatesText(const OutletStates& states) {
    std::string text = "outlet";
    for (int outlet = 1; outlet <= control::OutletCount; ++outlet)
        text += Format("%s %d %s", outlet == 1 ? "" : ",", outlet, states[outlet - 1] ? "ON" : "OFF");
    return text;
}

// The operation on a session whose writes wait for the caller's leave; any failure as a Failure
// naming the switch.
template <typename Result>
Result OnSession(const SwitchTarget& target, Call& call,
                 const std::function<Result(control::SwitchSession&)>& work) {
    try {
        control::SwitchSession session(target);
        session.BeforeEveryWrite([&call] { call.BeforeWrite(); });
        return work(session);
    } catch (const control::Failure&) {
        throw;
    } catch (const std::exception& failure) {
        throw control::AsFailure(failure, target);
    }
}

} // namespace

OutletStates ReadOutlets(const SwitchTarget& target, Call& call) {
    return OnSession<OutletStates>(
        target, call, [](control::SwitchSession& session) { return control::ReadOutlets(session); });
}

OutletStates ChangeOutlets(const SwitchTarget& target, Call& call, const control::OutletChanges& changes) {
    return OnSession<OutletStates>(target, call, [&](control::SwitchSession& session) {
        const OutletStates shown = control::ChangeOutlets(session, changes);
        call.SetOutcome(Format("%s shows %s.", target.Name().c_str(), StatesText(shown).c_str()));
        return shown;
    });
}

OutletStates CycleOutlets(const SwitchTarget& target, Call& call, const std::vector<int>& outlets,
                          std::chrono::milliseconds offTime) {
    return OnSession<OutletStates>(target, call, [&](control::SwitchSession& session) {
        bool cut = false;
        const auto wait = [&](std::chrono::milliseconds time) { cut = !call.Wait(time) || cut; };
        const OutletStates shown = control::CycleOutlets(session, outlets, offTime, wait);
        call.SetOutcome(
            Format("%s%s switched on again; %s shows %s.", cut ? "the off time was cut short and " : "",
                   control::OutletsText(outlets).c_str(), target.Name().c_str(), StatesText(shown).c_str()));
        return shown;
    });
}

std::vector<control::ScheduleEntry> ReadSchedule(const SwitchTarget& target, Call& call) {
    return OnSession<std::vector<control::ScheduleEntry>>(
        target, call, [](control::SwitchSession& session) { return control::ReadSchedule(session); });
}

std::vector<control::ScheduleEntry> WriteSchedule(const SwitchTarget& target, Call& call,
                                                  const std::vector<control::ScheduleEntry>& entries) {
    return OnSession<std::vector<control::ScheduleEntry>>(target, call, [&](control::SwitchSession& session) {
        const control::ImportResult result = control::ImportSchedule(
            session, entries, [&call] { return call.MustStop() || call.Stops() > 0; });
        std::string slots;
        for (const auto& slot : result.Written)
            slots += (slots.empty() ? "" : ", ") + slot;
        call.SetOutcome(Format("%zu of the %zu entries written (%s) and read back.", result.Written.size(),
                               entries.size(), slots.empty() ? "none" : slots.c_str()));
        if (!result.Differences.empty()) {
            std::string differences;
            for (const auto& difference : result.Differences)
                differences += " " + difference;
            throw control::ScheduleCheckFailed(Format("%s does not show %zu of the entries as written:%s",
                                                      target.Name().c_str(), result.Differences.size(),
                                                      differences.c_str()),
                                               result.Shown);
        }
        return result.Shown;
    });
}

} // namespace qdl::python
