#include "IniDocument.h"

#include "TextUtil.h"

#include <algorithm>

namespace qdl {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(line);
            line.clear();
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line += text[i];
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

bool IsSectionHeader(const std::string& line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

} // namespace

IniDocument IniDocument::Parse(const std::string& text) {
    IniDocument document;
    const std::vector<std::string> lines = SplitLines(text);
    for (std::size_t number = 0; number < lines.size(); ++number) {
        const std::string line = Trim(lines[number]);
        if (line.empty() || line.front() == ';')
            continue;
        if (IsSectionHeader(line)) {
            document.sections_.push_back({Trim(line.substr(1, line.size() - 2)), {}, static_cast<int>(number) + 1});
        } else if (!document.sections_.empty()) {
            const auto equals = line.find('=');
            document.sections_.back().Lines.push_back(equals == std::string::npos
                                                          ? line
                                                          : Trim(line.substr(0, equals)) + "=" +
                                                                Trim(line.substr(equals + 1)));
        }
    }
    return document;
}

std::string IniDocument::Format() const {
    std::string text;
    for (const Section& section : sections_) {
        text += "[" + section.Name + "]\r\n";
        for (const std::string& line : section.Lines)
            text += line + "\r\n";
        text += "\r\n";
    }
    return text;
}

std::vector<IniDocument::Heading> IniDocument::Headings() const {
    std::vector<Heading> headings;
    for (const Section& section : sections_)
        headings.push_back({section.Name, section.Line});
    return headings;
}

std::vector<std::string> IniDocument::SectionNames() const {
    std::vector<std::string> names;
    for (const Section& section : sections_)
        if (std::none_of(names.begin(), names.end(),
                         [&](const std::string& name) { return EqualsIgnoringCase(name, section.Name); }))
            names.push_back(section.Name);
    return names;
}

std::optional<std::size_t> IniDocument::FindSection(const std::string& name) const {
    const std::string wanted = UpperCase(name);
    for (std::size_t i = sections_.size(); i-- > 0;)
        if (UpperCase(sections_[i].Name) == wanted)
            return i;
    return std::nullopt;
}

std::optional<std::size_t> IniDocument::FindEntry(const Section& section, const std::string& key) {
    const std::string wanted = UpperCase(key);
    for (std::size_t i = section.Lines.size(); i-- > 0;) {
        const auto equals = section.Lines[i].find('=');
        if (equals != std::string::npos && UpperCase(section.Lines[i].substr(0, equals)) == wanted)
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniDocument::Value(const std::string& section, const std::string& key) const {
    const auto found = FindSection(section);
    const auto entry = found ? FindEntry(sections_[*found], key) : std::nullopt;
    if (!entry)
        return std::nullopt;
    const std::string& line = sections_[*found].Lines[*entry];
    return line.substr(line.find('=') + 1);
}

void IniDocument::SetValue(const std::string& section, const std::string& key, const std::string& value) {
    const auto found = FindSection(section);
    if (!found)
        sections_.push_back({section, {}});
    Section& target = found ? sections_[*found] : sections_.back();
    const std::string line = key + "=" + value;
    if (const auto entry = FindEntry(target, key))
        target.Lines[*entry] = line;
    else
        target.Lines.push_back(line);
}

} // namespace qdl
