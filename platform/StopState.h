#pragma once

#include <cstddef>

// What the system's stop handler shares with the rest of the program. The handler may run as a
// signal handler, so everything here is atomics and fixed buffers.
namespace qdl::platform::stops::state {

bool ChangeInFlight();

// Notes `signal` as the request to honour once the change in flight is done; false when no
// change is in flight or a request was noted already, and the program must end at once.
bool Note(int signal);

struct Line {
    const char* Text;
    std::size_t Size;
    bool ToStandardOutput;
    int ExitCode; // -1: 128 + the signal number
};

// The line to write when a request ends the program at once, where, and the exit code.
Line EndingLine();

} // namespace qdl::platform::stops::state
