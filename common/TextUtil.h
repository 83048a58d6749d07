#pragma once

#include <cstdio>
#include <string>

namespace qdl {

// Text without the blanks and control characters (codes 0 to 32) at both ends.
std::string Trim(const std::string& text);

// The value of a hexadecimal digit (either case); -1 for any other character.
int HexDigitValue(char c);

// True when the text is well-formed UTF-8: no stray or missing continuation bytes, no overlong
// forms, no surrogates and nothing past U+10FFFF.
bool IsValidUtf8(const std::string& text);

// True when the text holds a control character (codes 0 to 31, or 127).
bool HasControlCharacter(const std::string& text);

// ASCII case-insensitive equality, as the switch's names and the settings keys compare.
bool EqualsIgnoringCase(const std::string& a, const std::string& b);

// The text with every control byte (and DEL) written as \xNN, cut after `maxLength` bytes with
// "..." when longer: what a peer sent, safe to show on one line of a message or a log.
std::string Printable(const std::string& text, std::size_t maxLength = std::string::npos);
// As Printable, with every byte outside ASCII written as \xNN too: for text that may not be UTF-8.
std::string AsciiPrintable(const std::string& text, std::size_t maxLength = std::string::npos);

// As Printable for text that must stay valid UTF-8 (JSON, MQTT topics and payloads, service
// logs): every byte that is not part of a well-formed UTF-8 character is written as \xNN too, and
// the cut after `maxLength` bytes never splits a character.
std::string Utf8Printable(const std::string& text, std::size_t maxLength = std::string::npos);

// The text with &, ", < and > written as HTML and XML entities.
std::string MarkupEscaped(const std::string& text);

std::string UpperCase(std::string text);
std::string LowerCase(std::string text);

// printf-style formatting into a std::string.
template <typename... Args> std::string Format(const char* format, Args... args) {
    const int size = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.resize(static_cast<std::size_t>(size));
    return text;
}

} // namespace qdl
