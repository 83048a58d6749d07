#pragma once

#include <chrono>
#include <string>

namespace qdl::platform {

// Ctrl-C, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and closing the console) for a program
// that changes a switch. Outside a change a stop request ends the program at once. During one,
// the first request is only noted, so that the change can be finished, checked and reported;
// a second one ends the program at once. A program ended by a request exits with 128 + its signal
// number, after writing the line set for the case to standard error.
namespace stops {

void Install();

// How a program ended at once says so: on standard error with 128 + the signal number, or, for a
// monitoring plugin, on standard output with its own exit code.
struct Ending {
    bool ToStandardOutput = false;
    int ExitCode = -1; // -1: 128 + the signal number
};

// The lines written when a request ends the program at once: `idle` outside a change, `urgent`
// for a second request during one. Each is written as it is, line end included.
void SetLines(const std::string& idle, const std::string& urgent, Ending ending = {});

// While one lives, a change is in flight.
class ChangeScope {
public:
    ChangeScope();
    ~ChangeScope();
    ChangeScope(const ChangeScope&) = delete;
    ChangeScope& operator=(const ChangeScope&) = delete;
};

// The signal number of the first request noted during a change; 0 when there was none.
int Requested();

// Waits for `time`, or less when a request is noted; false when a request cut it short.
bool WaitUnlessStopped(std::chrono::milliseconds time);

// "SIGINT", "SIGTERM", ...
std::string SignalName(int signal);

} // namespace stops
} // namespace qdl::platform
