#pragma once

#include "SwitchTarget.h"

#include <optional>
#include <string>

namespace qdl::cli {

// Where the connection data come from: the settings file and the options that override it.
struct ConnectionOptions {
    std::string Config = "QDL4816.ini";
    std::string Section = "QDL4816";
    std::optional<std::string> Host;
    std::optional<std::string> Port;
    std::optional<std::string> User;
    std::optional<std::string> Password;
    std::optional<std::string> PasswordFile;
    std::optional<int> TimeoutSeconds;
};

// The four texts after the overrides. The password comes from, in this order: the password
// file's first line, $QDL4816_PASSWORD, --password, the settings file.
control::ConnectionTexts ResolveTexts(const ConnectionOptions& options);

// The target for those texts, with the read time limit (1 to 30 s; another is a UsageError).
control::SwitchTarget ResolveTarget(const ConnectionOptions& options);

// The first line of a file (without its line end); a UsageError when it cannot be read.
std::string FirstLineOf(const std::string& fileName, const char* what);

} // namespace qdl::cli
