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

// Windows programs show their help for /?.
const char* WindowsHelp(const char* argument) {
#ifdef _WIN32
    if (std::strcmp(argument, "/?") == 0)
        return "--help";
#endif
    return argument;
}

} // namespace

int main(int argc, char* argv[]) {
    qdl::platform::PrepareConsole();
#ifdef QDL_LINUX_FRONT_ENDS
    if (qdl::cli::IsFenceAgentCall(argc, argv))
        return qdl::cli::RunFenceAgent(argc, argv, std::cin, std::cout, std::cerr);
#endif
    qdl::platform::stops::Install();
    const std::vector<std::string> given = qdl::platform::ProgramArguments(argc, argv);
    std::vector<const char*> arguments;
    for (const std::string& argument : given)
        arguments.push_back(WindowsHelp(argument.c_str()));
    if (arguments.empty()) // started with no name at all
        arguments.push_back("qdlctl");
    // Called as check_qdl4816, it is the monitoring plugin: `qdlctl check`.
    if (const char* name = NameOf(arguments[0]); std::strncmp(name, "check_", 6) == 0) {
        arguments.insert(arguments.begin() + 1, "check");
        const std::string plugin(name, std::strcspn(name, "."));
        return qdl::cli::RunQdlctl(static_cast<int>(arguments.size()), arguments.data(), std::cin, std::cout,
                                   std::cerr, plugin.c_str());
    }
    return qdl::cli::RunQdlctl(static_cast<int>(arguments.size()), arguments.data(), std::cin, std::cout,
                               std::cerr);
}
