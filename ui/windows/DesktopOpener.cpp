#include "DesktopOpener.h"

#include "Wide.h"

#include <shellapi.h>

bool OpenWithShell(const std::string& url, void* owner) {
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(
        static_cast<HWND>(owner), L"open", qdl::platform::Wide(url).c_str(), nullptr, nullptr, SW_SHOW));
    return result > 32;
}
