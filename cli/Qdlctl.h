#pragma once

#include "Failures.h"

#include <iostream>

namespace qdl::cli {

// Exit codes, the same for every command; a stop request ends with 128 + its signal number.
enum ExitCode { Done = 0, SwitchFailed = 1, UsageFailed = 2, CheckFailedCode = 3 };

// The exit code for a failure of that kind: the one place they are decided.
int ExitCodeOf(control::FailureKind kind);

// The qdlctl command line: parses the arguments, runs one command, prints, and returns the exit code.
// `in` feeds the shell. `plugin`, when given, is the name the monitoring plugin was called by
// (the arguments then begin with "check"): its help and its stop line are the plugin's own.
int RunQdlctl(int argc, const char* const* argv, std::istream& in, std::ostream& out, std::ostream& err,
              const char* plugin = nullptr);

} // namespace qdl::cli
