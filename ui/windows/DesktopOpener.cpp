#include "DesktopOpener.h"

#include <shellapi.h>
#include <windows.h>

// The shell's "open" verb, as the switch's own Windows tools open a page: success when the shell
// reports a result greater than 32.
bool OpenWithDesktop(const QString& url) {
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(
        nullptr, L"open", reinterpret_cast<const wchar_t*>(url.utf16()), nullptr, nullptr, SW_SHOW));
    return result > 32;
}
