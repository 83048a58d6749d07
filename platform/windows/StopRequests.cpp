#include "StopRequests.h"

#include "Console.h"
#include "StopState.h"

#include <windows.h>

#include <algorithm>

namespace qdl::platform::stops {
namespace {

// The numbers the requests go by, as the C library numbers Ctrl-C and Ctrl-Break; closing the
// console counts as a hang-up.
constexpr int Interrupt = 2;
constexpr int Break = 21;
constexpr int Close = 1;
// The system ends the process this long after a close request; the change must finish before.
constexpr DWORD CloseGrace = 4500;

HANDLE wake = nullptr;

void WriteLine(const state::Line& line) {
    DWORD written = 0;
    WriteFile(GetStdHandle(line.ToStandardOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE), line.Text,
              static_cast<DWORD>(line.Size), &written, nullptr);
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
    if (state::Note(signal)) {
        SetEvent(wake);
        // Returning from a close request ends the process: the change finishes first.
        for (DWORD waited = 0; signal == Close && state::ChangeInFlight() && waited < CloseGrace;
             waited += 50)
            Sleep(50);
        return TRUE;
    }
    const state::Line line = state::EndingLine();
    WriteLine(line);
    platform::RestoreConsole(); // ExitProcess runs no exit handlers
    ExitProcess(static_cast<UINT>(line.ExitCode >= 0 ? line.ExitCode : 128 + signal));
}

} // namespace

void Install() {
    if (!wake)
        wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnControl, TRUE);
}

bool WaitUnlessStopped(std::chrono::milliseconds time) {
    if (Requested() != 0)
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
