#pragma once

#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qdl::cli::fence {

// One parameter of the agent, as the fence-agents library describes its own: the name on standard
// input and in the metadata (`Key`, an old name where it differs from the long option's), its
// command-line options, its type and default.
struct Parameter {
    const char* Key;
    const char* LongName;
    char ShortName;      // 0: none
    const char* Type;    // string, integer, second, boolean
    const char* Default; // nullptr: none
    bool Required;
    const char* ValueName; // "[ip]" in "-a, --ip=[ip]"; nullptr for a flag
    const char* Description;

    bool IsFlag() const { return ValueName == nullptr; }
    // The name standard input also takes: the long option with "_" for "-".
    std::string NewName() const;
    // "-a, --ip=[ip]"
    std::string Getopt() const;
};

const std::vector<Parameter>& Parameters();

// What the agent was told: values by key, flags as "1", -v counted.
struct Given {
    std::map<std::string, std::string> Values;
    int VerboseCount = 0;
    std::vector<std::string> Warnings; // to log once it is known where logging goes
    bool Done = false;                 // help or version was printed
};

// name=value lines, as the fence-agents library reads them: blank and # lines skipped, quotes
// around a value stripped, "-" and "_" in names alike; nodename and unknown names are ignored,
// the latter with a warning.
Given ReadStandardInput(std::istream& in);

// Options as the fence-agents library takes them; an unknown option is a failure, an extra
// argument only a warning. Prints the help or version to `out` when asked for.
Given ReadArguments(int argc, const char* const* argv, std::ostream& out);

} // namespace qdl::cli::fence
