#include "StopRequests.h"
#include "StopState.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace qdl::platform::stops {
namespace {

// A new pair is written to the buffer not in use and then made the active one, so a handler
// never reads a half-written line.
struct Lines {
    char Idle[1024];
    std::size_t IdleSize;
    char Urgent[1024];
    std::size_t UrgentSize;
    Ending How;
};
Lines lines[2];
std::atomic<int> activeLines{0};

std::atomic<int> changes{0};
std::atomic<int> requested{0};

std::size_t CopyLine(char (&buffer)[1024], const std::string& text) {
    const std::size_t size = std::min(text.size(), sizeof buffer);
    std::memcpy(buffer, text.data(), size);
    return size;
}

} // namespace

namespace state {

bool ChangeInFlight() {
    return changes.load() > 0;
}

bool Note(int signal) {
    int none = 0;
    return ChangeInFlight() && requested.compare_exchange_strong(none, signal);
}

Line EndingLine() {
    const Lines& active = lines[activeLines.load()];
    if (ChangeInFlight())
        return {active.Urgent, active.UrgentSize, active.How.ToStandardOutput, active.How.ExitCode};
    return {active.Idle, active.IdleSize, active.How.ToStandardOutput, active.How.ExitCode};
}

} // namespace state

void SetLines(const std::string& idle, const std::string& urgent, Ending ending) {
    const int next = 1 - activeLines.load();
    lines[next].IdleSize = CopyLine(lines[next].Idle, idle);
    lines[next].UrgentSize = CopyLine(lines[next].Urgent, urgent);
    lines[next].How = ending;
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

} // namespace qdl::platform::stops
