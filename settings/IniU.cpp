#include "IniU.h"

#include "IniDocument.h"
#include "SettingsEncoding.h"
#include "SettingsFile.h"
#include "SystemText.h"

namespace qdl {
namespace {

const std::string Utf8Mark = "\xEF\xBB\xBF";

// The file's entries as it stores them: the bytes of a file in the code page or in UTF-8, the
// text of a UTF-16 file (which that encoding gives back exactly). Every value is written back as
// it was read unless it is set, whatever its bytes; only a value set as text is encoded anew.
// Lines, blanks, '=' and brackets are single bytes below 0x40 in every code page a settings file
// may be in, so the layout is found in the bytes themselves.
struct Loaded {
    IniDocument Document;
    SettingsEncoding Encoding = SettingsEncoding::SystemCodePage;

    std::string Text(const std::string& stored) const {
        return Encoding == SettingsEncoding::SystemCodePage ? platform::FromSystemCodePage(stored) : stored;
    }

    // A text in the stored form; text that the code page cannot hold makes the whole file UTF-8
    // with a byte-order mark, never "?" or a look-alike.
    std::string Stored(const std::string& text) {
        if (Encoding != SettingsEncoding::SystemCodePage)
            return text;
        std::string bytes = platform::ToSystemCodePage(text);
        if (platform::FromSystemCodePage(bytes) == text)
            return bytes;
        Document = IniDocument::Parse(platform::FromSystemCodePage(Document.Format()));
        Encoding = SettingsEncoding::Utf8WithBom;
        return text;
    }

    std::string Bytes() const {
        switch (Encoding) {
        case SettingsEncoding::SystemCodePage:
            return Document.Format();
        case SettingsEncoding::Utf8WithBom:
            return Utf8Mark + Document.Format();
        case SettingsEncoding::Utf16LittleEndian:
            break;
        }
        SettingsEncoding encoding = Encoding;
        return EncodeSettings(Document.Format(), encoding);
    }
};

Loaded Load(const std::string& fileName) {
    const auto bytes = ReadSettingsFile(fileName);
    if (!bytes)
        return {};
    try {
        SettingsText text = DecodeSettings(*bytes); // refuses what the program cannot read
        switch (text.Encoding) {
        case SettingsEncoding::SystemCodePage:
            return {IniDocument::Parse(*bytes), text.Encoding};
        case SettingsEncoding::Utf8WithBom:
            return {IniDocument::Parse(bytes->substr(Utf8Mark.size())), text.Encoding};
        case SettingsEncoding::Utf16LittleEndian:
            break;
        }
        return {IniDocument::Parse(text.Text), text.Encoding};
    } catch (const UndecodableSettings& failure) {
        throw UndecodableSettingsFile(fileName, failure.what());
    }
}

} // namespace

bool IniInit(const std::string& fileName) {
    if (!ReadSettingsFile(fileName))
        WriteSettingsFile(fileName, Loaded{}.Bytes());
    return true;
}

bool IniValueExists(const std::string& fileName, const std::string& section, const std::string& key) {
    return Load(fileName).Document.Value(section, key).has_value();
}

std::string IniReadString(const std::string& fileName, const std::string& section, const std::string& key,
                          const std::string& fallback) {
    if (auto text = IniReadText(fileName, section, key))
        return *text;
    IniWriteString(fileName, section, key, fallback);
    return fallback;
}

std::optional<std::string> IniReadText(const std::string& fileName, const std::string& section,
                                       const std::string& key) {
    const Loaded loaded = Load(fileName);
    const auto value = loaded.Document.Value(section, key);
    return value ? std::optional(loaded.Text(*value)) : std::nullopt;
}

std::optional<std::string> IniReadStored(const std::string& fileName, const std::string& section,
                                         const std::string& key) {
    return Load(fileName).Document.Value(section, key);
}

bool IniWriteString(const std::string& fileName, const std::string& section, const std::string& key,
                    const std::string& value) {
    return IniWriteStrings(fileName, section, {{key, value}});
}

bool IniWriteStrings(const std::string& fileName, const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<IniEntry> record;
    for (const auto& [key, value] : entries)
        record.push_back({key, value, std::nullopt});
    IniWriteRecord(fileName, section, record);
    return true;
}

bool IniWriteRecord(const std::string& fileName, const std::string& section,
                    const std::vector<IniEntry>& entries) {
    Loaded loaded = Load(fileName);
    const SettingsEncoding before = loaded.Encoding;
    std::string sectionName = loaded.Stored(section);
    std::vector<std::string> stored;
    for (const IniEntry& entry : entries)
        stored.push_back(entry.Stored ? *entry.Stored : loaded.Stored(entry.Text));
    if (loaded.Encoding != before) {
        // A text the code page cannot hold made the file UTF-8: what was kept in the code page
        // follows it.
        sectionName = section;
        for (std::size_t i = 0; i < entries.size(); ++i)
            stored[i] =
                entries[i].Stored ? platform::FromSystemCodePage(*entries[i].Stored) : entries[i].Text;
    }
    // As a write of each entry in turn leaves the file: each reads the one before it back.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0)
            loaded.Document = IniDocument::Parse(loaded.Document.Format());
        loaded.Document.SetValue(sectionName, loaded.Stored(entries[i].Key), stored[i]);
    }
    return WriteSettingsFile(fileName, loaded.Bytes());
}

} // namespace qdl
