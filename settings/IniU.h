#pragma once

#include <string>

namespace qdl {

// The settings store: four stateless operations on an INI file. Each loads the file afresh and,
// where it writes, saves the whole file before it returns. Failures are thrown with the file's
// full path and the system's reason.

// Makes sure the file exists, creating it empty; true when it exists afterwards.
bool IniInit(const std::string& fileName);

bool IniValueExists(const std::string& fileName, const std::string& section, const std::string& key);

// The entry's value; when the entry is missing, writes `fallback` to the file and returns it.
std::string IniReadString(const std::string& fileName, const std::string& section, const std::string& key,
                          const std::string& fallback);

bool IniWriteString(const std::string& fileName, const std::string& section, const std::string& key,
                    const std::string& value);

} // namespace qdl
