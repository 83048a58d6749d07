#include "StopRequests.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace qdl::platform::stops {
namespace {

// The numbers the requests go by, as the C library numbers Ctrl-C and Ctrl-Break; closing the
// console counts as a hang-up.
constexpr int Interrupt = 2;
constexpr int Break = 21;
constexpr int Close = 1;
// The system ends the process this long after a close request; the change must finish before.
constexpr DWORD CloseGrace = 4500;

// The lines are written from the control handler, so they live in fixed buffers: a new pair is
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
HANDLE wake = nullptr;

void WriteError(const char* text, std::size_t size) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(size), &written, nullptr);
}

int SignalOf(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
        return Interrupt;
    case CTRL_BREAK_EVENT:
        return Break;
    default:
        return Close;
    }
}

// Runs on a thread of its own for each request.
BOOL WINAPI OnControl(DWORD type) {
    const int signal = SignalOf(type);
    int none = 0;
    if (changes.load() > 0 && requested.compare_exchange_strong(none, signal)) {
        SetEvent(wake);
        // Returning from a close request ends the process: the change finishes first.
        for (DWORD waited = 0; signal == Close && changes.load() > 0 && waited < CloseGrace; waited += 50)
            Sleep(50);
        return TRUE;
    }
    const Lines& active = lines[activeLines.load()];
    if (changes.load() > 0)
        WriteError(active.Urgent, active.UrgentSize);
    else
        WriteError(active.Idle, active.IdleSize);
    ExitProcess(static_cast<UINT>(128 + signal));
}

std::size_t CopyLine(char (&buffer)[1024], const std::string& text) {
    const std::size_t size = std::min(text.size(), sizeof buffer);
    std::memcpy(buffer, text.data(), size);
    return size;
}

} // namespace

void Install() {
    if (!wake)
        wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnControl, TRUE);
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
    if (requested.load() != 0)
        return false;
    if (!wake) {
        Sleep(static_cast<DWORD>(time.count()));
        return true;
    }
    return WaitForSingleObject(wake, static_cast<DWORD>(std::min<long long>(time.count(), INFINITE - 1))) ==
           WAIT_TIMEOUT;
}

std::string SignalName(int signal) {
    switch (signal) {
    case Interrupt:
        return "Ctrl-C";
    case Break:
        return "Ctrl-Break";
    case Close:
        return "closing the console";
    default:
        return "signal " + std::to_string(signal);
    }
}

} // namespace qdl::platform::stops
