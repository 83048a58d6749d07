#pragma once

#include "FenceParameters.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace qdl::cli::fence {

// What the agent was told, read and checked as validate-all checks it.
struct FenceSettings {
    std::string Action; // lower case; "meta-data" is read as "metadata"
    std::string Address;
    std::string Port = "80";
    std::string UserName = "admin";
    std::optional<std::string> Password;
    std::optional<std::string> PasswordScript;
    std::vector<int> Plugs;
    std::string Separator = ",";

    int VerboseLevel = 0;
    bool Quiet = false;
    std::optional<std::string> DebugFile;

    std::chrono::milliseconds Delay{0};
    std::chrono::milliseconds PowerWait{5000};
    std::chrono::milliseconds Settle{6000};
    std::chrono::milliseconds StatusSleep{1000};
    std::optional<std::chrono::milliseconds> PowerTimeout{std::chrono::seconds(20)}; // nothing: disabled
    int RetryOn = 1;
    // The time the cluster allows one action, where the agent was told it.
    std::optional<std::chrono::milliseconds> ActionTimeout;
};

// The actions the agent takes, as its metadata lists them.
const std::vector<std::string>& Actions();

// Reads the action alone: enough for metadata, which needs nothing else.
std::string ActionOf(const Given& given);

// Reads and checks everything; a FenceFailure naming the parameter otherwise. `fromPacemaker`:
// run by Pacemaker's fencer, where timeouts are disabled unless said otherwise.
FenceSettings Settle(const Given& given, bool fromPacemaker);

// The longest `action` (off, on or reboot) can take when nothing undoes its change: its delay, then
// power_wait + power_timeout + settle for every attempt. Nothing while timeouts are disabled.
std::optional<std::chrono::milliseconds> WorstCase(const FenceSettings& settings, const std::string& action);

// For validate-all: a FenceFailure naming the action and the parameters when a fencing action's
// worst case cannot fit the ActionTimeout the agent was told.
void RequireFitsActionTimeout(const FenceSettings& settings);

} // namespace qdl::cli::fence
