#include "Console.h"

#include "Wide.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <memory>

namespace qdl::platform {

namespace {

// The console's code pages as the program found them; 0 until then.
UINT foundOutput = 0, foundInput = 0;

} // namespace

void RestoreConsole() {
    if (foundOutput != 0)
        SetConsoleOutputCP(foundOutput);
    if (foundInput != 0)
        SetConsoleCP(foundInput);
}

// The console belongs to the shell that started the program: it gets its code pages back, or the
// user's next commands there would show their text in UTF-8.
void PrepareConsole() {
    foundOutput = GetConsoleOutputCP();
    foundInput = GetConsoleCP();
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
    std::atexit(RestoreConsole);
}

// The C library's argv holds the ANSI code page's bytes, with '?' for what it lacks.
std::vector<std::string> ProgramArguments(int argc, char* argv[]) {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> wide(CommandLineToArgvW(GetCommandLineW(), &count),
                                                             &LocalFree);
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(Narrow(wide.get()[i]));
    return arguments;
}

std::optional<std::string> EnvironmentValue(const char* name) {
    if (const wchar_t* value = _wgetenv(Wide(name).c_str()))
        return Narrow(value);
    return std::nullopt;
}

} // namespace qdl::platform
