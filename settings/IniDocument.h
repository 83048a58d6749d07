#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qdl {

// The whole content of an INI file in memory. Sections and entry names compare without regard to
// case; where a name occurs twice, the last one counts. Writing gives CR LF lines, each section
// followed by one empty line.
class IniDocument {
public:
    // Reads text with any line ends; comments, empty lines and lines before the first section
    // are dropped, names and values trimmed.
    static IniDocument Parse(const std::string& text);
    std::string Format() const;

    std::optional<std::string> Value(const std::string& section, const std::string& key) const;
    bool HasSection(const std::string& section) const { return FindSection(section).has_value(); }
    // Each section's name once, as first written, in the file's order.
    std::vector<std::string> SectionNames() const;

    // Every section heading as read, in the file's order, with its line (from 1): a name may come
    // twice.
    struct Heading {
        std::string Name;
        int Line = 0;
    };
    std::vector<Heading> Headings() const;

    // Replaces the last entry of that name in place, or appends one to the (last) section of
    // that name, or appends the section.
    void SetValue(const std::string& section, const std::string& key, const std::string& value);

private:
    struct Section {
        std::string Name;
        std::vector<std::string> Lines; // "name=value", or a line without "=" as it stood
        int Line = 0;                   // of its heading in the text read; 0 when added since
    };

    std::optional<std::size_t> FindSection(const std::string& name) const;
    static std::optional<std::size_t> FindEntry(const Section& section, const std::string& key);

    std::vector<Section> sections_;
};

} // namespace qdl
