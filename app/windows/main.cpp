// The program on Windows: the folder it keeps its settings in, the one window, its message loop.
#include "StartFolder.h"
#include "Win32Window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (const auto notice = qdl::win32::MoveToSettingsFolder())
        MessageBoxW(nullptr, notice->c_str(), L"Quadrel 4816", MB_OK | MB_ICONINFORMATION);
    qdl::win32::TForm1 form(instance);
    return form.Run();
}
