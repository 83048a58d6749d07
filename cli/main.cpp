#include "FenceAgent.h"
#include "Qdlctl.h"
#include "StopRequests.h"

#include <iostream>

int main(int argc, char* argv[]) {
    if (qdl::cli::IsFenceAgentCall(argc, argv))
        return qdl::cli::RunFenceAgent(argc, argv, std::cin, std::cout, std::cerr);
    qdl::platform::stops::Install();
    return qdl::cli::RunQdlctl(argc, argv, std::cout, std::cerr);
}
