#include "StopRequests.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace qdl::platform::stops {
namespace {

constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

// The lines are written from the signal handler, so they live in fixed buffers: a new pair is
// written to the buffer not in use and then made the active one.
struct Lines {
    char Idle[1024];
    std::size_t IdleSize;
    char Urgent[1024];
    std::size_t UrgentSize;
};
Lines lines[2];
std::atomic<int> activeLines{0};

std::atomic<int> changes{0};
std::atomic<int> requested{0};
int wakePipe[2] = {-1, -1};

void WriteAll(const char* text, std::size_t size) {
    while (size > 0) {
        const ssize_t count = ::write(STDERR_FILENO, text, size);
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
    int none = 0;
    if (changes.load() > 0 && requested.compare_exchange_strong(none, signal)) {
        const char wake = 1;
        (void)!::write(wakePipe[1], &wake, 1);
        errno = savedErrno;
        return;
    }
    const Lines& active = lines[activeLines.load()];
    if (changes.load() > 0)
        WriteAll(active.Urgent, active.UrgentSize);
    else
        WriteAll(active.Idle, active.IdleSize);
    ::_exit(128 + signal);
}

std::size_t CopyLine(char (&buffer)[1024], const std::string& text) {
    const std::size_t size = std::min(text.size(), sizeof buffer);
    std::memcpy(buffer, text.data(), size);
    return size;
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

void SetLines(const std::string& idle, const std::string& urgent) {
    const int next = 1 - activeLines.load();
    lines[next].IdleSize = CopyLine(lines[next].Idle, idle);
    lines[next].UrgentSize = CopyLine(lines[next].Urgent, urgent);
    activeLines.store(next);
}

ChangeScope::ChangeScope() {
    ++changes;
}

ChangeScope::~ChangeScope() {
    --changes;
}

int Requested() {
    return requested.load();
}

bool WaitUnlessStopped(std::chrono::milliseconds time) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + time;
    while (requested.load() == 0) {
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
