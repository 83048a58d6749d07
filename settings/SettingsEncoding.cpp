#include "SettingsEncoding.h"

#include "SystemText.h"

#include <cstdint>

namespace qdl {
namespace {

const std::string Utf8Mark = "\xEF\xBB\xBF";
const std::string Utf16LittleMark = "\xFF\xFE";
const std::string Utf16BigMark = "\xFE\xFF";

bool StartsWith(const std::string& bytes, const std::string& mark) {
    return bytes.compare(0, mark.size(), mark) == 0;
}

void AppendUtf8(std::string& text, std::uint32_t code) {
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The code points of UTF-8 text; false at the first byte that breaks it.
template <typename Each> bool ForEachCodePoint(const std::string& text, Each each) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        if (length == 0 || i + length > text.size())
            return false;
        std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000))
            return false;
        each(code);
        i += length;
    }
    return true;
}

std::string FromUtf16LittleEndian(const std::string& bytes) {
    if (bytes.size() % 2 != 0)
        throw UndecodableSettings("it is UTF-16 text with an odd number of bytes");
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        std::uint32_t unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1])
                                                                        << 8;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            const std::uint32_t low =
                static_cast<unsigned char>(bytes[i + 2]) | static_cast<unsigned char>(bytes[i + 3]) << 8;
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (unit >= 0xD800 && unit < 0xE000)
            throw UndecodableSettings("it is UTF-16 text with a broken character");
        AppendUtf8(text, unit);
    }
    return text;
}

std::string ToUtf16LittleEndian(const std::string& text) {
    std::string bytes = Utf16LittleMark;
    const auto unit = [&](std::uint32_t value) {
        bytes += static_cast<char>(value & 0xFF);
        bytes += static_cast<char>(value >> 8);
    };
    ForEachCodePoint(text, [&](std::uint32_t code) {
        if (code < 0x10000) {
            unit(code);
        } else {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
    });
    return bytes;
}

} // namespace

SettingsText DecodeSettings(const std::string& bytes) {
    if (StartsWith(bytes, Utf16LittleMark))
        return {FromUtf16LittleEndian(bytes.substr(Utf16LittleMark.size())),
                SettingsEncoding::Utf16LittleEndian};
    if (StartsWith(bytes, Utf16BigMark))
        throw UndecodableSettings("it is UTF-16 big-endian text, which this program does not read");
    if (StartsWith(bytes, Utf8Mark)) {
        std::string text = bytes.substr(Utf8Mark.size());
        if (!ForEachCodePoint(text, [](std::uint32_t) {}))
            throw UndecodableSettings("it is marked as UTF-8 but holds bytes that are no UTF-8");
        return {std::move(text), SettingsEncoding::Utf8WithBom};
    }
    // No code page has a NUL in its text: such a file is UTF-16 or UTF-32 without a mark, or no
    // text at all.
    if (bytes.find('\0') != std::string::npos)
        throw UndecodableSettings(
            "it holds NUL bytes: it is no text in the system's code page (UTF-16 without "
            "a byte-order mark?)");
    return {platform::FromSystemCodePage(bytes), SettingsEncoding::SystemCodePage};
}

std::string EncodeSettings(const std::string& text, SettingsEncoding& encoding) {
    if (encoding == SettingsEncoding::SystemCodePage) {
        std::string bytes = platform::ToSystemCodePage(text);
        if (platform::FromSystemCodePage(bytes) == text)
            return bytes;
        encoding = SettingsEncoding::Utf8WithBom;
    }
    if (encoding == SettingsEncoding::Utf8WithBom)
        return Utf8Mark + text;
    return ToUtf16LittleEndian(text);
}

} // namespace qdl
