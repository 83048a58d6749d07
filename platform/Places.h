#pragma once

#include <optional>
#include <string>

namespace qdl::platform {

// The user's own folder for program settings: $XDG_CONFIG_HOME, else ~/.config (%APPDATA% on
// Windows); nothing when neither can be told.
std::optional<std::string> UserConfigFolder();

// The folder for lock files that every user of the machine shares: /run/lock where it can be
// written, else the temporary folder.
std::string SharedLockFolder();

} // namespace qdl::platform
