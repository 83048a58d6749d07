#pragma once

#include "SwitchTarget.h"

#include <chrono>
#include <istream>
#include <ostream>

namespace qdl::cli {

// `qdlctl shell`: one command a line from `in`, for power-management engines that drive a switch
// through a coprocess. Each command ends with "OK" or "ERROR: <message>" and a new prompt; the
// commands come one after another, never interleaved, and end of input ends the shell.
// Returns the exit code.
int RunShell(const control::SwitchTarget& target, std::chrono::milliseconds offTime, std::istream& in,
             std::ostream& out);

} // namespace qdl::cli
