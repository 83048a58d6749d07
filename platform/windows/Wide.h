#pragma once

#include <windows.h>

#include <string>

namespace qdl::platform {

// Bytes in a code page and UTF-16, both ways. A character the code page lacks becomes its
// default character, as the system writes it.
inline std::wstring FromCodePage(UINT codePage, const std::string& bytes) {
    if (bytes.empty())
        return {};
    const int size =
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), size);
    return wide;
}

inline std::string ToCodePage(UINT codePage, const std::wstring& wide) {
    if (wide.empty())
        return {};
    const int size = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size, nullptr,
                        nullptr);
    return bytes;
}

// The program's texts are UTF-8; Windows takes and gives UTF-16.
inline std::wstring Wide(const std::string& text) {
    return FromCodePage(CP_UTF8, text);
}

inline std::string Narrow(const std::wstring& wide) {
    return ToCodePage(CP_UTF8, wide);
}

// The system's text for an error number in the user's language (English where the system has no
// text in it), without the blanks and full stop at its end.
inline std::string SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const auto format = [&](DWORD language) {
        return FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                  FORMAT_MESSAGE_IGNORE_INSERTS,
                              nullptr, error, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    };
    DWORD size = format(MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT));
    if (size == 0)
        size = format(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    std::string text = size ? Narrow(std::wstring(buffer, size)) : "Error " + std::to_string(error);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '.' || static_cast<unsigned char>(text.back()) <= ' '))
        text.pop_back();
    return text;
}

} // namespace qdl::platform
