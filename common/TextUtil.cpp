#include "TextUtil.h"

#include <algorithm>

namespace qdl {

std::string Trim(const std::string& text) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    const auto first = std::find_if_not(text.begin(), text.end(), isBlank);
    const auto last = std::find_if_not(text.rbegin(), std::string::const_reverse_iterator(first), isBlank);
    return std::string(first, last.base());
}

namespace {

// Only ASCII letters change case: other bytes belong to multi-byte characters.
char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

namespace {

// The length of the well-formed UTF-8 character at `i`; 0 where the bytes there are none (a stray
// or missing continuation byte, an overlong form, a surrogate, a code past U+10FFFF).
std::size_t Utf8CharacterLength(const std::string& text, std::size_t i) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    const unsigned char lead = bytes[i];
    std::size_t length = 1;
    unsigned low = 0x80, high = 0xBF; // the range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
    } else
        return 0;
    if (size - i < length || bytes[i + 1] < low || bytes[i + 1] > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (bytes[i + k] < 0x80 || bytes[i + k] > 0xBF)
            return 0;
    return length;
}

} // namespace

bool IsValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8CharacterLength(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

bool HasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto code = static_cast<unsigned char>(c);
        return code < ' ' || code == 0x7F;
    });
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

std::string UpperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), AsciiUpper);
    return text;
}

std::string LowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), AsciiLower);
    return text;
}

std::string AsciiPrintable(const std::string& text, std::size_t maxLength) {
    std::string shown;
    for (const char c : Printable(text, maxLength)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte >= 0x80 ? Format("\\x%02X", byte) : std::string(1, c);
    }
    return shown;
}

std::string Printable(const std::string& text, std::size_t maxLength) {
    const bool cut = text.size() > maxLength;
    std::string shown;
    for (const char c : cut ? text.substr(0, maxLength) : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            shown += Format("\\x%02X", byte);
        else
            shown += c;
    }
    return cut ? shown + "..." : shown;
}

std::string Utf8Printable(const std::string& text, std::size_t maxLength) {
    std::string shown;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length = Utf8CharacterLength(text, i);
        if (i + std::max<std::size_t>(length, 1) > maxLength)
            break;
        const auto byte = static_cast<unsigned char>(text[i]);
        if (length == 0 || byte < 0x20 || byte == 0x7f)
            shown += Format("\\x%02X", byte);
        else
            shown.append(text, i, length);
        i += std::max<std::size_t>(length, 1);
    }
    return i < text.size() ? shown + "..." : shown;
}

std::string MarkupEscaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

} // namespace qdl
