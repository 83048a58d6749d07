#pragma once

// What the window's helper programs print for the scripts: lines in UTF-8, and a failed step's
// reason on standard error with exit code 1.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace qdl::test {

inline void WriteLine(DWORD stream, const std::wstring& text) {
    const std::wstring line = text + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), size, nullptr,
                        nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(stream), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

inline void Print(const std::wstring& text) {
    WriteLine(STD_OUTPUT_HANDLE, text);
}

[[noreturn]] inline void FailStep(const wchar_t* program, const std::wstring& why) {
    WriteLine(STD_ERROR_HANDLE, std::wstring(program) + L": " + why);
    std::exit(1);
}

} // namespace qdl::test
