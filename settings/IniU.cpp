#include "IniU.h"

#include "IniDocument.h"
#include "SettingsFile.h"

namespace qdl {
namespace {

IniDocument Load(const std::string& fileName) {
    return IniDocument::Parse(ReadSettingsFile(fileName).value_or(std::string()));
}

} // namespace

bool IniInit(const std::string& fileName) {
    if (!ReadSettingsFile(fileName))
        WriteSettingsFile(fileName, IniDocument().Format());
    return true;
}

bool IniValueExists(const std::string& fileName, const std::string& section, const std::string& key) {
    return Load(fileName).Value(section, key).has_value();
}

std::string IniReadString(const std::string& fileName, const std::string& section, const std::string& key,
                          const std::string& fallback) {
    const auto value = Load(fileName).Value(section, key);
    if (value)
        return *value;
    IniWriteString(fileName, section, key, fallback);
    return fallback;
}

bool IniWriteString(const std::string& fileName, const std::string& section, const std::string& key,
                    const std::string& value) {
    IniDocument document = Load(fileName);
    document.SetValue(section, key, value);
    WriteSettingsFile(fileName, document.Format());
    return true;
}

} // namespace qdl
