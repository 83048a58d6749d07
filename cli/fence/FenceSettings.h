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
};

// The actions the agent takes, as its metadata lists them.
const std::vector<std::string>& Actions();

// Reads the action alone: enough for metadata, which needs nothing else.
std::string ActionOf(const Given& given);

// Reads and checks everything; a FenceFailure naming the parameter otherwise. `fromPacemaker`:
// run by Pacemaker's fencer, where timeouts are disabled unless said otherwise.
FenceSettings Settle(const Given& given, bool fromPacemaker);

} // namespace qdl::cli::fence
