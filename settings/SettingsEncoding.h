#pragma once

#include <stdexcept>
#include <string>

namespace qdl {

// How a settings file's bytes hold its text. The window has always written the system's code
// page (the ANSI code page on Windows, UTF-8 elsewhere); Notepad saves "UTF-8" with a byte-order
// mark and "Unicode" as UTF-16 little-endian with one. A file is written back as it was read, so
// that an editor that chose the encoding keeps it.
enum class SettingsEncoding { SystemCodePage, Utf8WithBom, Utf16LittleEndian };

struct SettingsText {
    std::string Text; // UTF-8
    SettingsEncoding Encoding = SettingsEncoding::SystemCodePage;
};

// Bytes that are no text this program can read (UTF-16 big-endian, UTF-16 without a byte-order
// mark, broken UTF-16 or UTF-8 after a mark); the reason says which, without a full stop.
struct UndecodableSettings : std::runtime_error {
    using std::runtime_error::runtime_error;
};

SettingsText DecodeSettings(const std::string& bytes);

// The bytes for `text` in `encoding`. Text that the system's code page cannot hold (山田 under
// code page 1252) is never cut to "?" or a look-alike: such a file becomes UTF-8 with a
// byte-order mark, and `encoding` says so.
std::string EncodeSettings(const std::string& text, SettingsEncoding& encoding);

} // namespace qdl
