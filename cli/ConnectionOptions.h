#pragma once

#include "ConnectionSource.h"
#include "SwitchTarget.h"

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace qdl::cli {

// The options that name the switch and its limits, taken by every command that talks to one:
// --config, --section, --host, --port, --user, --password, --password-file, --timeout.
class ConnectionOptions {
public:
    void AddTo(CLI::App& app);

    // What the options ask for; a UsageError for an option given twice or a value out of range.
    control::ConnectionRequest Request() const;
    // The switch they name, with the time limit for a reply and for the switch's lock; fails
    // with a UsageError or ConfigError before anything is sent.
    control::SwitchTarget Target() const;
    control::ConnectionTexts Texts() const;

private:
    std::vector<std::string> config_, section_, host_, port_, user_, password_, passwordFile_, timeout_;
};

} // namespace qdl::cli
