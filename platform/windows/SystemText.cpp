#include "SystemText.h"

#include "Wide.h"

namespace qdl::platform {
namespace {

std::wstring FromCodePage(UINT codePage, const std::string& bytes) {
    if (bytes.empty())
        return {};
    const int size =
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), size);
    return wide;
}

} // namespace

std::string FromSystemCodePage(const std::string& bytes) {
    return Narrow(FromCodePage(CP_ACP, bytes));
}

// A character the code page lacks becomes the code page's default character, as the system
// writes it.
std::string ToSystemCodePage(const std::string& text) {
    const std::wstring wide = Wide(text);
    if (wide.empty())
        return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size, nullptr,
                        nullptr);
    return bytes;
}

} // namespace qdl::platform
