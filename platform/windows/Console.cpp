#include "Console.h"

#include <windows.h>

namespace qdl::platform {

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
}

} // namespace qdl::platform
