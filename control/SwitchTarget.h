#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace qdl::control {

// Which switch to talk to and how long it may take.
struct SwitchTarget {
    std::string Host;
    int Port = 80;
    std::string UserName;
    std::string Password;
    // Nothing says which user name and password this switch takes: its requests carry none.
    bool WithoutCredentials = false;
    // The connection, and a whole reply from the request on.
    std::chrono::milliseconds ConnectTimeout{1000};
    std::chrono::milliseconds ReadTimeout{5000};
    // Where set, every exchange ends by then: its connection and reply share what is left.
    std::optional<std::chrono::steady_clock::time_point> Deadline;
    // How long a change waits for its turn at the switch; max() waits without end.
    std::chrono::milliseconds LockTimeout{5000};

    // "host:port", as messages name the switch.
    std::string Name() const { return Host + ":" + std::to_string(Port); }
};

// The connection texts as the window keeps them: address, port text, user name, password. There
// is no default address: a script must name its switch.
struct ConnectionTexts {
    std::string Address;
    std::string Port = "80";
    std::string UserName = "admin";
    std::string Password = "40617253";
    bool WithoutCredentials = false;
};

// The target the window would talk to for these texts: the address trimmed, the port text read
// as an integer (80 when it is none).
SwitchTarget TargetOf(const ConnectionTexts& texts);

// The switch's own web page, as the window's Web Control opens it: the raw texts.
std::string WebPageAddress(const ConnectionTexts& texts);

} // namespace qdl::control
