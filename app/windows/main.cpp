// The program on Windows: the common controls, the one window, its message loop.
#include "Win32Window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    qdl::win32::TForm1 form(instance);
    return form.Run();
}
