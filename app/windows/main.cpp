// The program on Windows: the folder it keeps its settings in, the one window, its message loop.
#include "StartFolder.h"
#include "Win32Window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    qdl::win32::MoveToSettingsFolder();
    qdl::win32::TForm1 form(instance);
    return form.Run();
}
