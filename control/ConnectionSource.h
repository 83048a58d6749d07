#pragma once

#include "SwitchTarget.h"

#include <optional>
#include <string>

namespace qdl::control {

// What a script said about the switch it means.
struct ConnectionRequest {
    std::optional<std::string> ConfigFile; // must exist when given
    std::string Section = "QDL4816";
    std::optional<std::string> Host;
    std::optional<std::string> Port;
    std::optional<std::string> UserName;
    std::optional<std::string> Password;
    std::optional<std::string> PasswordFile;
    std::optional<std::string> EnvironmentPassword; // taken only when not empty
};

// The settings file a script reads: the one named, else ./QDL4816.ini, else QDL4816.ini in the
// user's settings folder (quadrel4816/ under it); nothing when none of them exists.
std::optional<std::string> FindSettingsFile(const ConnectionRequest& request);

// The connection texts for the request. The address comes from the host option or from the
// section's IPV4 key; without either, or with a named file or section that is not there, this
// fails with a ConfigError naming the file and section, before anything is sent. Missing Port,
// UserName and Pass keys keep the window's defaults. The password comes from, in this order: the
// password file's first line, the password option, the environment, the settings file.
// The file's user name and password go only to the switch the file names (its IPV4 and Port):
// for a host or port that names another switch, only the options and the environment give them,
// and without any the requests carry no credentials at all.
ConnectionTexts ResolveConnection(const ConnectionRequest& request);

// The first line of a password file; a UsageError when it cannot be read, is empty or blank.
std::string ReadPasswordFile(const std::string& fileName);

} // namespace qdl::control
