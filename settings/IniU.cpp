#include "IniU.h"

#include "IniDocument.h"
#include "SettingsEncoding.h"
#include "SettingsFile.h"

namespace qdl {
namespace {

struct Loaded {
    IniDocument Document;
    SettingsEncoding Encoding = SettingsEncoding::SystemCodePage;
};

Loaded Load(const std::string& fileName) {
    const auto bytes = ReadSettingsFile(fileName);
    if (!bytes)
        return {};
    try {
        SettingsText text = DecodeSettings(*bytes);
        return {IniDocument::Parse(text.Text), text.Encoding};
    } catch (const UndecodableSettings& failure) {
        throw UndecodableSettingsFile(fileName, failure.what());
    }
}

void Save(const std::string& fileName, const Loaded& loaded) {
    SettingsEncoding encoding = loaded.Encoding;
    WriteSettingsFile(fileName, EncodeSettings(loaded.Document.Format(), encoding));
}

} // namespace

bool IniInit(const std::string& fileName) {
    if (!ReadSettingsFile(fileName))
        Save(fileName, {});
    return true;
}

bool IniValueExists(const std::string& fileName, const std::string& section, const std::string& key) {
    return Load(fileName).Document.Value(section, key).has_value();
}

std::string IniReadString(const std::string& fileName, const std::string& section, const std::string& key,
                          const std::string& fallback) {
    const auto value = Load(fileName).Document.Value(section, key);
    if (value)
        return *value;
    IniWriteString(fileName, section, key, fallback);
    return fallback;
}

bool IniWriteString(const std::string& fileName, const std::string& section, const std::string& key,
                    const std::string& value) {
    return IniWriteStrings(fileName, section, {{key, value}});
}

bool IniWriteStrings(const std::string& fileName, const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& entries) {
    Loaded loaded = Load(fileName);
    // As a write of each entry in turn leaves the file: each reads the one before it back.
    for (const auto& [key, value] : entries) {
        if (&value != &entries.front().second)
            loaded.Document = IniDocument::Parse(loaded.Document.Format());
        loaded.Document.SetValue(section, key, value);
    }
    Save(fileName, loaded);
    return true;
}

} // namespace qdl
