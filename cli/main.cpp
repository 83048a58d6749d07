#include "FenceAgent.h"
#include "Qdlctl.h"
#include "StopRequests.h"

#include <iostream>

#include <cstring>
#include <vector>

int main(int argc, char* argv[]) {
    if (qdl::cli::IsFenceAgentCall(argc, argv))
        return qdl::cli::RunFenceAgent(argc, argv, std::cin, std::cout, std::cerr);
    qdl::platform::stops::Install();
    // Called as check_qdl4816, it is the monitoring plugin: `qdlctl check`.
    const char* slash = std::strrchr(argv[0], '/');
    if (std::strncmp(slash ? slash + 1 : argv[0], "check_", 6) == 0) {
        std::vector<const char*> arguments(argv, argv + argc);
        arguments.insert(arguments.begin() + 1, "check");
        return qdl::cli::RunQdlctl(argc + 1, arguments.data(), std::cin, std::cout, std::cerr);
    }
    return qdl::cli::RunQdlctl(argc, argv, std::cin, std::cout, std::cerr);
}
