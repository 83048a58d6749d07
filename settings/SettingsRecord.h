#pragma once

#include "FileLock.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qdl {

// One program's record in a settings file (its section's keys), as a window keeps it: read at
// start, saved at exit. A value the user did not change is written back as the file stored it,
// whatever its bytes; only a changed one is encoded anew. The save is made under a lock of the
// file shared by every process, and a window whose file was changed by another window (or an
// editor) since it read it is told so before it writes, every time, however the two are timed,
// where the change holds values that this window's save replaces.
class SettingsRecord {
public:
    SettingsRecord(std::string fileName, std::string section);

    // Runs `reading` (the Read calls and Remember) under the file's lock: a window that writes
    // missing keys as it starts never does so between another window's reading and its
    // remembering what it read, which would look like a save of that window's at its exit.
    void Load(const std::function<void()>& reading);
    // The key's value, as IniReadString gives it (the fallback is written where it is missing).
    std::string Read(const std::string& key, const std::string& fallback);
    // Once every key is read: `shown` is each key's text as the window shows it, and the file's
    // bytes now are what a save compares against.
    void Remember(const std::map<std::string, std::string>& shown);

    // Writes each key's text (the stored form for a text still as shown). `tell` is given the
    // notice, and returns before the write, when the file changed since it was read or last
    // told and holds values other than these. True when the file was rewritten where it stands, its folder
    // taking no new files. Fails as the settings operations do.
    bool Save(const std::vector<std::pair<std::string, std::string>>& texts,
              const std::function<void(const std::string&)>& tell);

    // The lock file of a settings file: in the folder every user shares, named by the file's
    // full path, so that no file is ever made beside the settings file.
    static std::string LockPathOf(const std::string& fileName);

private:
    std::string fileName_;
    std::string section_;
    std::map<std::string, std::optional<std::string>> stored_; // as read, by key
    std::map<std::string, std::string> shown_;                 // as shown when read, by key
    // The file as last seen: its bytes and its version (another window's save of the same bytes
    // is a save all the same).
    std::pair<std::optional<std::string>, std::optional<std::string>> known_;
    std::pair<std::optional<std::string>, std::optional<std::string>> Seen() const;
    std::optional<platform::FileLock> Lock() const;
    bool ReplacesOthers(const std::vector<std::pair<std::string, std::string>>& texts) const;
    bool remembered_ = false;
};

} // namespace qdl
