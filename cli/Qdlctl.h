#pragma once

#include <iostream>

namespace qdl::cli {

// Exit codes, the same for every command.
enum ExitCode { Done = 0, SwitchFailed = 1, UsageFailed = 2, CheckFailed = 3 };

// The qdlctl command line: parses the arguments, runs one command, prints, and returns the exit code.
int RunQdlctl(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

} // namespace qdl::cli
