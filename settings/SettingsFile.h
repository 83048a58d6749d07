#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>

namespace qdl {

// A settings file that cannot be read or written. The message is the window's; the file's full
// path and the system's reason let other front ends word it their own way.
class SettingsFileError : public std::runtime_error {
public:
    SettingsFileError(const std::string& message, std::string path, std::string reason)
        : std::runtime_error(message), path_(std::move(path)), reason_(std::move(reason)) {}

    const std::string& Path() const { return path_; }
    const std::string& Reason() const { return reason_; }

private:
    std::string path_;
    std::string reason_;
};

// A settings file that is there but cannot be read: the system refuses it, it holds more than
// SettingsReadLimit, or its bytes are no text the program reads. Such a file is never replaced
// by defaults.
class UnreadableSettingsFile : public SettingsFileError {
public:
    using SettingsFileError::SettingsFileError;
};

// Far above any real settings file (a few hundred bytes), and little memory.
inline constexpr std::size_t SettingsReadLimit = 1 << 20;

// The bytes of a settings file; nothing when there is no such file (a folder counts as none).
// Fails with an UnreadableSettingsFile "ファイル "<full path>". <reason> は開けません" when a file
// is there but cannot be read, or holds more than SettingsReadLimit.
std::optional<std::string> ReadSettingsFile(const std::string& fileName);

// The same failure for a file whose bytes were read but are no text the program reads.
UnreadableSettingsFile UndecodableSettingsFile(const std::string& fileName, const std::string& reason);

// Replaces the file's content as one step: the new content goes to a temporary file in the same
// folder, reaches the disk, and is renamed over the old file, so a failure at any point leaves
// the old file exactly as it was. The file holds the password, so on POSIX systems every write
// leaves it private to its owner (0600), and a symbolic link stays a link: its target is written,
// created where missing. On Windows the file takes its folder's access rights.
// Where the folder lets no new file be made but the file may be written, the file is rewritten
// where it stands (as the designed program always wrote it): true then.
// Fails with "ファイル "<full path>". <reason> を作成できません" when the file or its folder cannot be
// written, and with "ストリームへの書き込みエラー" when the content cannot be written in full.
bool WriteSettingsFile(const std::string& fileName, const std::string& content);

} // namespace qdl
