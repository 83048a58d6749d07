#pragma once

#include <CLI/CLI.hpp>

#include <map>
#include <string>

namespace qdl::cli {

// Help in the project's words: each command's usage line as written for it, "Commands" and
// "Arguments" for the parser's own headings.
class HelpFormat : public CLI::Formatter {
public:
    HelpFormat();

    // Registers a command's usage line, such as "qdlctl [OPTIONS] cycle [--off-time SECONDS] N...".
    void Usage(const CLI::App* command, std::string usage) { usages_[command] = std::move(usage); }

    std::string make_usage(const CLI::App* app, std::string name) const override;

private:
    std::map<const CLI::App*, std::string> usages_;
};

// `qdlctl` alone: the usage line and the list of commands.
std::string ShortUsage(const CLI::App& app);

} // namespace qdl::cli
