#include "FenceAgent.h"

#include "Base64.h"
#include "FenceFailure.h"
#include "FenceLog.h"
#include "FenceParameters.h"
#include "FenceSettings.h"
#include "Outlets.h"
#include "TextUtil.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace qdl::cli {
namespace {

using namespace control;
using namespace fence;

struct PipeCloser {
    void operator()(FILE* pipe) const { ::pclose(pipe); }
};

std::string PasswordFromScript(const std::string& script) {
    std::unique_ptr<FILE, PipeCloser> pipe(::popen(script.c_str(), "r"));
    if (!pipe)
        throw FenceFailure("Failed: The password script cannot be started.");
    char line[4096] = "";
    if (std::fgets(line, sizeof line, pipe.get()) == nullptr)
        throw FenceFailure("Failed: The password script printed no password.");
    std::string password = line;
    while (!password.empty() && (password.back() == '\n' || password.back() == '\r'))
        password.pop_back();
    return password;
}

// The switch as the agent talks to it. A change waits for the switch's lock as long as it would
// wait for the outlets: without end where timeouts are disabled, as the cluster then ends it.
SwitchTarget FenceTarget(const FenceSettings& settings) {
    ConnectionTexts texts;
    texts.Address = settings.Address;
    texts.Port = settings.Port;
    texts.UserName = settings.UserName;
    texts.Password =
        settings.PasswordScript ? PasswordFromScript(*settings.PasswordScript) : *settings.Password;
    SwitchTarget target = TargetOf(texts);
    target.LockTimeout = settings.PowerTimeout.value_or(std::chrono::milliseconds::max());
    return target;
}

void Sleep(std::chrono::milliseconds time) {
    if (time.count() > 0)
        std::this_thread::sleep_for(time);
}

// "on" when any of the plugs is on, as the fence-agents library reports several plugs.
bool AnyOn(const OutletStates& states, const std::vector<int>& plugs) {
    for (int plug : plugs)
        if (states[static_cast<std::size_t>(plug - 1)])
            return true;
    return false;
}

bool AllAre(const OutletStates& states, const std::vector<int>& plugs, bool on) {
    for (int plug : plugs)
        if (states[static_cast<std::size_t>(plug - 1)] != on)
            return false;
    return true;
}

class Agent {
public:
    Agent(const FenceSettings& settings, FenceLog& log, std::ostream& out)
        : settings_(settings), log_(log), out_(out), target_(FenceTarget(settings)),
          session_(target_, [this](const std::string& line) { log_.Debug(line); }) {
        log_.Mask({target_.Password, Base64Encode(Trim(target_.UserName) + ":" + Trim(target_.Password))});
    }

    int Run() {
        const std::string& action = settings_.Action;
        if ((action == "off" || action == "reboot") && settings_.Delay.count() > 0) {
            log_.Debug(Format("Delay %g second(s) before logging in to the switch",
                              settings_.Delay.count() / 1000.0));
            Sleep(settings_.Delay);
        }
        if (action == "monitor")
            return ReadOutlets(session_), 0;
        if (action == "list" || action == "list-status")
            return List(action == "list-status");
        const OutletStates states = ReadOutlets(session_);
        if (action == "status") {
            const bool on = AnyOn(states, settings_.Plugs);
            out_ << "Status: " << (on ? "ON" : "OFF") << "\n";
            return on ? 0 : 2;
        }
        if (action == "reboot")
            return Reboot(states);
        const bool on = action == "on";
        const bool already = AllAre(states, settings_.Plugs, on);
        if (!Switch(on, states, on ? 1 + settings_.RetryOn : 1))
            throw FenceFailure(on ? "Failed: Timed out waiting to power ON"
                                  : "Failed: Timed out waiting to power OFF");
        out_ << "Success: " << (already ? "Already " : "Powered ") << (on ? "ON" : "OFF") << "\n";
        return 0;
    }

private:
    int List(bool withStatus) {
        const OutletStates states = ReadOutlets(session_);
        const std::string& separator = settings_.Separator;
        for (int outlet = 1; outlet <= OutletCount; ++outlet) {
            out_ << outlet << separator << "outlet" << outlet;
            if (withStatus)
                out_ << separator << (states[static_cast<std::size_t>(outlet - 1)] ? "on" : "off");
            out_ << "\n";
        }
        return 0;
    }

    // The node is fenced once OFF has held. Its power supply must really lose power: ON follows
    // only after the outlets were OFF for power_wait. An ON that never holds afterwards is logged,
    // but does not undo the fence.
    int Reboot(const OutletStates& states) {
        if (!Switch(false, states, 1))
            throw FenceFailure("Failed: Timed out waiting to power OFF");
        Sleep(std::chrono::duration_cast<std::chrono::milliseconds>(offSince_ + settings_.PowerWait -
                                                                    Clock::now()));
        if (!Switch(true, std::nullopt, settings_.RetryOn))
            log_.Error("Timed out waiting to power ON");
        out_ << "Success: Rebooted\n";
        return 0;
    }

    // Every plug in one read-modify-write under the switch's lock, polled as the fence-agents
    // library polls, then held and verified against writers on other hosts for the settle time;
    // written only where `shown` does not show it already. False when it never showed within the
    // attempts or did not hold.
    bool Switch(bool on, const std::optional<OutletStates>& shown, int attempts) {
        if (attempts < 1)
            return false;
        OutletChanges changes;
        for (int plug : settings_.Plugs)
            changes[plug] = on;
        HoldPolicy policy;
        policy.Settle = settings_.Settle;
        policy.Every = settings_.StatusSleep;
        policy.PowerWait = settings_.PowerWait;
        policy.PowerTimeout = settings_.PowerTimeout;
        policy.Attempts = attempts;
        policy.Reapplied = [this](const std::string& line) { log_.Warning(line); };
        try {
            const Held held = HoldChange(session_, changes, policy,
                                         shown && AllAre(*shown, settings_.Plugs, on) ? shown : std::nullopt);
            offSince_ = held.Since;
            return true;
        } catch (const CheckFailed& failure) {
            log_.Error(failure.what());
            return false;
        } catch (const Failure& failure) {
            if (!on)
                throw;
            log_.Error(failure.what());
            return false;
        }
    }

    const FenceSettings& settings_;
    FenceLog& log_;
    std::ostream& out_;
    SwitchTarget target_;
    SwitchSession session_;
    Clock::time_point offSince_;
};

Given ReadGiven(int argc, const char* const* argv, std::istream& in, std::ostream& out) {
    return argc > 1 ? ReadArguments(argc, argv, out) : ReadStandardInput(in);
}

bool FromPacemaker() {
    const char* service = std::getenv("PCMK_service");
    return service && std::string(service) == "pacemaker-fenced";
}

} // namespace

bool IsFenceAgentCall(int argc, const char* const* argv) {
    const char* slash = std::strrchr(argv[0], '/');
    if (std::strncmp(slash ? slash + 1 : argv[0], "fence_", 6) == 0)
        return true;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "-o", 2) == 0 || std::strncmp(argv[i], "--action", 8) == 0)
            return true;
    return false;
}

int RunFenceAgent(int argc, const char* const* argv, std::istream& in, std::ostream& out, std::ostream& err) {
    std::unique_ptr<FenceLog> log;
    try {
        const Given given = ReadGiven(argc, argv, in, out);
        if (given.Done)
            return 0;
        if (ActionOf(given) == "metadata") {
            out << FenceMetadata();
            return 0;
        }
        const FenceSettings settings = Settle(given, FromPacemaker());
        log = std::make_unique<FenceLog>(err, settings.Quiet, settings.VerboseLevel,
                                         settings.DebugFile.value_or(""));
        for (const auto& warning : given.Warnings)
            log->Warning(warning);
        if (settings.Action == "validate-all")
            return RequireFitsActionTimeout(settings), 0;
        return Agent(settings, *log, out).Run();
    } catch (const std::exception& failure) {
        const std::string message = failure.what();
        const std::string line = message.rfind("Failed:", 0) == 0 ? message : "Failed: " + message;
        if (log)
            log->Error(line);
        else
            err << "ERROR: " << line << "\n";
        return 1;
    }
}

} // namespace qdl::cli
