#include "SwitchesFile.h"

#include "Conversions.h"
#include "Failures.h"
#include "Files.h"
#include "IniDocument.h"
#include "SettingsEncoding.h"
#include "TextUtil.h"

#include <sys/stat.h>

#include <algorithm>

namespace qdl::control {
namespace {

// Passwords in a file others may read are not passwords: refused before anything is read.
void RequirePrivate(const std::string& path) {
#ifndef _WIN32
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && (status.st_mode & S_IROTH))
        throw ConfigError(Format("The configuration file %s may be read by everybody (mode %04o): it holds "
                                 "passwords; make it readable by its owner and group only (chmod o-rwx).",
                                 path.c_str(), static_cast<unsigned>(status.st_mode & 07777)));
#else
    (void)path;
#endif
}

std::string Text(const std::string& path) {
    try {
        return DecodeSettings(platform::ReadNamedFile(path, 1 << 20)).Text;
    } catch (const platform::FileError& failure) {
        throw ConfigError(
            Format("The configuration file %s cannot be read: %s.", path.c_str(), failure.Reason.c_str()));
    } catch (const UndecodableSettings& failure) {
        throw ConfigError(
            Format("The configuration file %s cannot be read: %s.", path.c_str(), failure.what()));
    }
}

// The first line of a password file, without its line end.
std::string PasswordIn(const std::string& path, const std::string& section) {
    std::string text;
    try {
        text = platform::ReadNamedFile(path, 4096);
    } catch (const platform::FileError& failure) {
        throw ConfigError(Format("Switch %s: its PassFile %s cannot be read: %s.", section.c_str(),
                                 path.c_str(), failure.Reason.c_str()));
    }
    text = text.substr(0, text.find('\n'));
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    return text;
}

// Names become label values, which Prometheus takes only as UTF-8: one bad name would lose the
// whole switch's scrape.
void RequireUtf8(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& name) {
    if (!IsValidUtf8(name))
        throw ConfigError(Format("The configuration file %s, switch %s: %s '%s' is not valid UTF-8; save the "
                                 "file as UTF-8.",
                                 path.c_str(), AsciiPrintable(section, 64).c_str(), key.c_str(),
                                 AsciiPrintable(name, 64).c_str()));
}

SwitchEntry EntryOf(const IniDocument& document, const std::string& section, const std::string& path) {
    const auto value = [&](const char* key) { return document.Value(section, key); };
    RequireUtf8(path, section, "the section's name", section);
    SwitchEntry entry;
    entry.Name = section;
    const auto address = value("IPV4");
    if (!address || Trim(*address).empty())
        throw ConfigError(Format("Switch %s has no address: give IPV4=.", section.c_str()));
    entry.Target.Host = Trim(*address);
    const std::string port = value("Port").value_or("80");
    const auto number = TryStrToInt(port);
    if (!number || *number < 1 || *number > 65535 ||
        port.find_first_not_of("0123456789") != std::string::npos)
        throw ConfigError(Format("Switch %s: Port '%s' is not a TCP port from 1 to 65535.", section.c_str(),
                                 Printable(port, 40).c_str()));
    entry.Target.Port = *number;
    entry.Target.UserName = value("UserName").value_or("admin");
    if (const auto file = value("PassFile"))
        entry.Target.Password = PasswordIn(*file, section);
    else if (const auto password = value("Pass"))
        entry.Target.Password = *password;
    else
        throw ConfigError(Format("Switch %s has no password: give Pass= or PassFile=.", section.c_str()));
    for (int outlet = 1; outlet <= 4; ++outlet) {
        const std::string key = "Outlet" + std::to_string(outlet);
        if (const auto name = value(key.c_str()); name && !name->empty()) {
            RequireUtf8(path, section, key, *name);
            entry.OutletNames[outlet] = *name;
        }
    }
    const std::string schedule = LowerCase(value("Schedule").value_or("0"));
    entry.Schedule = schedule == "1" || schedule == "yes" || schedule == "true";
    for (int outlet = 1; outlet <= 4; ++outlet) {
        const std::string commands =
            LowerCase(Trim(value(("Outlet" + std::to_string(outlet) + "Commands").c_str()).value_or("1")));
        if (commands == "0" || commands == "no" || commands == "false")
            entry.WithoutCommands.insert(outlet);
    }
    return entry;
}

// A section given twice would have its second half quietly replace or join the first (a second
// [mqtt] once sent the bridge to a switch's port): refused with both places.
void RequireSectionsOnce(const IniDocument& document, const std::string& path) {
    std::map<std::string, int> firstLines; // by the name in upper case
    for (const IniDocument::Heading& heading : document.Headings()) {
        const auto [first, added] = firstLines.emplace(UpperCase(heading.Name), heading.Line);
        if (!added)
            throw ConfigError(Format("The configuration file %s, line %d: the section [%s] is given a second "
                                     "time (first at line %d); give each section once.",
                                     path.c_str(), heading.Line, Utf8Printable(heading.Name, 64).c_str(),
                                     first->second));
    }
}

} // namespace

const SwitchEntry* SwitchesFile::Find(const std::string& name) const {
    for (const SwitchEntry& entry : switches_)
        if (EqualsIgnoringCase(entry.Name, name))
            return &entry;
    return nullptr;
}

std::optional<std::string> SwitchesFile::Setting(const std::string& section, const std::string& key) const {
    return document_.Value(section, key);
}

SwitchesFile SwitchesFile::Read(const std::string& path, const std::vector<std::string>& notSwitches) {
    RequirePrivate(path);
    SwitchesFile config;
    config.document_ = IniDocument::Parse(Text(path));
    RequireSectionsOnce(config.document_, path);
    for (const std::string& section : config.document_.SectionNames())
        if (std::none_of(notSwitches.begin(), notSwitches.end(),
                         [&](const std::string& name) { return EqualsIgnoringCase(name, section); }))
            config.switches_.push_back(EntryOf(config.document_, section, path));
    return config;
}

} // namespace qdl::control
