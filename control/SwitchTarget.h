#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace qdl::control {

// Which switch to talk to and how long a reply may take.
struct SwitchTarget {
    std::string Host = "192.168.10.100";
    int Port = 80;
    std::string UserName = "admin";
    std::string Password = "40617253";
    std::chrono::milliseconds ReadTimeout{5000};
};

// The connection texts as the window keeps them: address, port text, user name, password.
struct ConnectionTexts {
    std::string Address = "192.168.10.100";
    std::string Port = "80";
    std::string UserName = "admin";
    std::string Password = "40617253";
};

// Reads the four keys of `section` from the window's settings file, with the window's defaults
// for missing keys. Never creates or writes the file: a missing file gives the defaults.
ConnectionTexts ReadConnectionTexts(const std::string& fileName, const std::string& section);

// The target the window would talk to for these texts: the address trimmed, the port text read
// as an integer (80 when it is none).
SwitchTarget TargetOf(const ConnectionTexts& texts);

// The switch's own web page, as the window's Web Control opens it: the raw texts.
std::string WebPageAddress(const ConnectionTexts& texts);

} // namespace qdl::control
