#pragma once

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

// The bytes of a file; nothing when there is no such file (a folder counts as none).
std::optional<std::string> ReadWholeFile(const std::string& path);

// Replaces a file's content as one step: the new content goes to a temporary file in the same
// folder, reaches the disk, and takes the old file's place, so that a failure at any point leaves
// the old file exactly as it was. On POSIX systems the file is left private to its owner (0600)
// and a symbolic link stays a link; on Windows the file takes its folder's access rights.
void ReplaceWholeFile(const std::string& path, const std::string& content);

} // namespace qdl::platform
