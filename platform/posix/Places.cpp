#include "Places.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace qdl::platform {

std::optional<std::string> UserConfigFolder() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return std::string(config);
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = ::getpwuid(::getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || !*home)
        return std::nullopt;
    return std::string(home) + "/.config";
}

std::string SharedLockFolder() {
    if (::access("/run/lock", W_OK | X_OK) == 0)
        return "/run/lock";
    std::error_code error;
    const auto temporary = std::filesystem::temp_directory_path(error);
    return error ? std::string("/tmp") : temporary.string();
}

} // namespace qdl::platform
