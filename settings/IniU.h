#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qdl {

// The settings store: stateless operations on an INI file. Each loads the file afresh and, where
// it writes, saves the whole file before it returns, in the encoding it was read in (see
// SettingsEncoding.h), every line it did not set byte for byte as it was. Texts are UTF-8.
// Failures are thrown with the file's full path and the system's reason; a file that cannot be
// read is never written.

// Makes sure the file exists, creating it empty; true when it exists afterwards.
bool IniInit(const std::string& fileName);

bool IniValueExists(const std::string& fileName, const std::string& section, const std::string& key);

// The entry's value; nothing when it is missing. Never writes.
std::optional<std::string> IniReadText(const std::string& fileName, const std::string& section,
                                       const std::string& key);

// The entry's value; when the entry is missing, writes `fallback` to the file and returns it.
std::string IniReadString(const std::string& fileName, const std::string& section, const std::string& key,
                          const std::string& fallback);

bool IniWriteString(const std::string& fileName, const std::string& section, const std::string& key,
                    const std::string& value);

// Several entries in one replacement of the whole file, so that another program reading or
// writing it at the same time sees all of them or none.
bool IniWriteStrings(const std::string& fileName, const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& entries);

// The entry's value as the file stores it (its bytes in the file's encoding), to write back
// unchanged with IniWriteRecord; nothing when it is missing.
std::optional<std::string> IniReadStored(const std::string& fileName, const std::string& section,
                                         const std::string& key);

// An entry to write: its stored form where the value is the one read (written back as it was,
// whatever its bytes), else its text, encoded anew.
struct IniEntry {
    std::string Key;
    std::string Text;
    std::optional<std::string> Stored;
};
// True when the file was rewritten where it stands (see WriteSettingsFile), not replaced.
bool IniWriteRecord(const std::string& fileName, const std::string& section,
                    const std::vector<IniEntry>& entries);

} // namespace qdl
