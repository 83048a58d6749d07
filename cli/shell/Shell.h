#pragma once

#include "SwitchTarget.h"

#include <chrono>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace qdl::cli {

// One line of the shell as a command: "quit", "status", "on", "off" or "cycle" with the outlets it
// names (all four for a bare status), or nothing for an empty line. Fails with a UsageError whose
// message quotes what was sent with its control bytes escaped.
struct ShellLine {
    std::string Command;
    std::vector<int> Outlets;
};
ShellLine ParseShellLine(const std::string& line);

// `qdlctl shell`: one command a line from `in`, for power-management engines that drive a switch
// through a coprocess. Each command ends with "OK" or "ERROR: <message>" and a new prompt; the
// commands come one after another, never interleaved, and end of input ends the shell.
// Returns the exit code.
int RunShell(const control::SwitchTarget& target, std::chrono::milliseconds offTime, std::istream& in,
             std::ostream& out);

} // namespace qdl::cli
