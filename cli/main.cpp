#include "Console.h"
#include "Qdlctl.h"
#include "StopRequests.h"

#ifdef QDL_LINUX_FRONT_ENDS
#include "FenceAgent.h"
#endif

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

// The program's name without its folder.
const char* NameOf(const char* program) {
    const char* name = program;
    for (const char* c = program; *c; ++c)
        if (*c == '/' || *c == '\\')
            name = c + 1;
    return name;
}

} // namespace

int main(int argc, char* argv[]) {
    qdl::platform::PrepareConsole();
#ifdef QDL_LINUX_FRONT_ENDS
    if (qdl::cli::IsFenceAgentCall(argc, argv))
        return qdl::cli::RunFenceAgent(argc, argv, std::cin, std::cout, std::cerr);
#endif
    qdl::platform::stops::Install();
    // Called as check_qdl4816, it is the monitoring plugin: `qdlctl check`.
    if (const char* name = NameOf(argv[0]); std::strncmp(name, "check_", 6) == 0) {
        std::vector<const char*> arguments(argv, argv + argc);
        arguments.insert(arguments.begin() + 1, "check");
        const std::string plugin(name, std::strcspn(name, "."));
        return qdl::cli::RunQdlctl(argc + 1, arguments.data(), std::cin, std::cout, std::cerr,
                                   plugin.c_str());
    }
    return qdl::cli::RunQdlctl(argc, argv, std::cin, std::cout, std::cerr);
}
