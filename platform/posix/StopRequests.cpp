#include "StopRequests.h"
#include "StopState.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace qdl::platform::stops {
namespace {

constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

int wakePipe[2] = {-1, -1};

void WriteAll(int fd, const char* text, std::size_t size) {
    while (size > 0) {
        const ssize_t count = ::write(fd, text, size);
        if (count <= 0 && errno != EINTR)
            return;
        if (count > 0) {
            text += count;
            size -= static_cast<std::size_t>(count);
        }
    }
}

void OnSignal(int signal) {
    const int savedErrno = errno;
    if (state::Note(signal)) {
        const char wake = 1;
        (void)!::write(wakePipe[1], &wake, 1);
        errno = savedErrno;
        return;
    }
    const state::Line line = state::EndingLine();
    WriteAll(line.ToStandardOutput ? STDOUT_FILENO : STDERR_FILENO, line.Text, line.Size);
    ::_exit(line.ExitCode >= 0 ? line.ExitCode : 128 + signal);
}

} // namespace

void Install() {
    if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    sigfillset(&action.sa_mask);
    for (int signal : Signals)
        ::sigaction(signal, &action, nullptr);
}

bool WaitUnlessStopped(std::chrono::milliseconds time) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + time;
    while (Requested() == 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return true;
        pollfd entry{wakePipe[0], POLLIN, 0};
        ::poll(&entry, wakePipe[0] < 0 ? 0 : 1, static_cast<int>(std::min<long long>(left, 1 << 30)));
    }
    return false;
}

std::string SignalName(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "signal " + std::to_string(signal);
    }
}

} // namespace qdl::platform::stops
