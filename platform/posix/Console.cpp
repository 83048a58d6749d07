#include "Console.h"

#include <cstdlib>

namespace qdl::platform {

// Terminals take UTF-8 as it is.
void PrepareConsole() {}

void RestoreConsole() {}

std::vector<std::string> ProgramArguments(int argc, char* argv[]) {
    return std::vector<std::string>(argv, argv + argc);
}

std::optional<std::string> EnvironmentValue(const char* name) {
    if (const char* value = std::getenv(name))
        return std::string(value);
    return std::nullopt;
}

} // namespace qdl::platform
