#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>

namespace qdl::platform {

// A file that could not be read or written, by where it failed and the system's reason (without
// a full stop at its end).
struct FileError : std::runtime_error {
    enum class Stage { Open, Create, Write };
    FileError(Stage stage, const std::string& reason)
        : std::runtime_error(reason), Where(stage), Reason(reason) {}
    Stage Where;
    std::string Reason;
};

// Paths are UTF-8 on every system; on Windows they reach the system as UTF-16, whatever the
// ANSI code page.

// Far more than any file the program reads holds (a few kilobytes), and little memory.
inline constexpr std::size_t FileReadLimit = 4 << 20;

// The bytes of a file; nothing when there is no such file (a folder counts as none). A file that
// holds more than `limit` bytes fails (Open) without being read further.
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit = FileReadLimit);

// The bytes of a file the user named, which must be there: FileError (Open) when it is missing or
// a folder, or holds more than `limit` bytes.
std::string ReadNamedFile(const std::string& path, std::size_t limit = FileReadLimit);

// "it holds more than 4 MiB, far more than such a file does": the reason of a file over its limit.
std::string TooLargeReason(std::size_t limit);

// Who may read a file written whole: its owner only (a file holding a password), or as the file
// had it, or as new files get it (the user's umask) when there was none, or everybody (a file for
// another program, such as a metrics file for a collector running as its own user; 0644).
enum class FileAccess { OwnerOnly, AsBefore, Everybody };

// Replaces a file's content as one step: the new content goes to a temporary file in the same
// folder, reaches the disk, and takes the old file's place, so that a failure at any point leaves
// the old file exactly as it was. On POSIX systems a symbolic link stays a link, and `access`
// decides the file's mode; on Windows the file takes its folder's access rights. What is not a
// regular file (a device, a FIFO, a socket, /dev/stdout) is written in place, never replaced; a
// FIFO that nobody reads fails at once.
void ReplaceWholeFile(const std::string& path, const std::string& content,
                      FileAccess access = FileAccess::OwnerOnly);

// What changes whenever a file is written or replaced, even with the same bytes: its identity on
// the disk (a replacement is a new file), its size and the time it was last written. Nothing when
// there is no such file, or no regular file.
std::optional<std::string> FileVersion(const std::string& path);

// How a file was written: replaced as one step, or rewritten where it stands.
enum class Written { Replaced, InPlace };

// As ReplaceWholeFile; but where the folder lets no new file be made while the file itself may be
// written (a folder whose rights allow only that, as a program of old wrote its settings there),
// the file is rewritten where it stands, and its old content put back should that fail part-way.
// On Windows a replacement that another program's open handle refuses (a sharing violation, an
// indexer or a virus scanner holding the file) is tried again for about a second first.
Written ReplaceOrRewrite(const std::string& path, const std::string& content,
                         FileAccess access = FileAccess::OwnerOnly);

// The device a path names though it looks like a file's name: on Windows a name such as aux.json,
// nul.txt or com1.txt (the part before the first dot is a device's name), or a \\?\ path whose
// last part is a device's name, which makes a file that Explorer cannot remove. Nothing for any
// other path, for a device's bare name given on purpose (NUL, CON), and on other systems.
std::optional<std::string> AccidentalDevice(const std::string& path);

// Fails as ReplaceWholeFile would before it writes anything (a folder at the path, a file or
// folder that may not be written, a folder that is missing): so that a caller can find out before
// it does work whose result would be lost.
void RequireReplaceable(const std::string& path);

} // namespace qdl::platform
