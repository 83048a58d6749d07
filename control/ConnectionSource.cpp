#include "ConnectionSource.h"

#include "Conversions.h"
#include "Failures.h"
#include "Files.h"
#include "IniDocument.h"
#include "Places.h"
#include "SettingsEncoding.h"
#include "SettingsFile.h"
#include "TextUtil.h"

#include <algorithm>
#include <filesystem>

namespace qdl::control {
namespace {

namespace fs = std::filesystem;

const char* const FileName = "QDL4816.ini";

std::string FullPath(const std::string& fileName) {
    std::error_code ignored;
    return fs::absolute(fs::u8path(fileName), ignored).lexically_normal().u8string();
}

bool IsFile(const std::string& fileName) {
    std::error_code ignored;
    return fs::is_regular_file(fs::u8path(fileName), ignored);
}

std::string UserSettingsFile() {
    const auto folder = platform::UserConfigFolder();
    return folder ? (fs::u8path(*folder) / "quadrel4816" / FileName).u8string() : std::string();
}

IniDocument ReadDocument(const std::string& fileName) {
    std::error_code ignored;
    if (fs::is_directory(fs::u8path(fileName), ignored))
        throw ConfigError(
            Format("The settings file %s is a folder: name the file in it.", FullPath(fileName).c_str()));
    try {
        const auto content = ReadSettingsFile(fileName);
        if (!content)
            throw ConfigError(Format("The settings file %s does not exist.", FullPath(fileName).c_str()));
        try {
            return IniDocument::Parse(DecodeSettings(*content).Text);
        } catch (const UndecodableSettings& failure) {
            throw UndecodableSettingsFile(fileName, failure.what());
        }
    } catch (const SettingsFileError& failure) {
        throw ConfigError(Format("The settings file %s cannot be read: %s.", failure.Path().c_str(),
                                 failure.Reason().c_str()));
    }
}

std::string NoSwitchNamed() {
    const std::string user = UserSettingsFile();
    return Format("No switch is named: give --host, or a settings file (--config FILE, ./%s%s%s) whose "
                  "section holds the switch's address as IPV4. Nothing was sent.",
                  FileName, user.empty() ? "" : " or ", user.c_str());
}

// The section's keys over the window's defaults; the address only where the section has one.
ConnectionTexts FromFile(const std::string& fileName, const ConnectionRequest& request) {
    const IniDocument document = ReadDocument(fileName);
    const std::string path = FullPath(fileName);
    if (!document.HasSection(request.Section))
        throw ConfigError(Format("The settings file %s has no section [%s]. Nothing was sent.", path.c_str(),
                                 request.Section.c_str()));
    ConnectionTexts texts;
    auto take = [&](const char* key, std::string& text) {
        if (auto value = document.Value(request.Section, key))
            text = *value;
    };
    take("IPV4", texts.Address);
    take("Port", texts.Port);
    take("UserName", texts.UserName);
    take("Pass", texts.Password);
    if (!request.Host && Trim(texts.Address).empty())
        throw ConfigError(
            Format("The section [%s] of the settings file %s has no IPV4 key naming the switch. "
                   "Nothing was sent.",
                   request.Section.c_str(), path.c_str()));
    const int port = StrToIntDef(texts.Port, 80);
    if (!request.Port && (port < 1 || port > 65535))
        throw ConfigError(
            Format("The section [%s] of the settings file %s gives Port %s, which is no TCP port "
                   "(1 to 65535). Nothing was sent.",
                   request.Section.c_str(), path.c_str(), texts.Port.c_str()));
    return texts;
}

// The file's user name and password belong to the switch the file names: another switch named by
// --host or --port must not receive them.
bool NamesTheFilesSwitch(const ConnectionTexts& file, const ConnectionRequest& request) {
    if (Trim(file.Address).empty())
        return false;
    if (request.Host && !EqualsIgnoringCase(Trim(*request.Host), Trim(file.Address)))
        return false;
    return !request.Port || StrToIntDef(*request.Port, 80) == StrToIntDef(file.Port, 80);
}

} // namespace

std::optional<std::string> FindSettingsFile(const ConnectionRequest& request) {
    if (request.ConfigFile)
        return request.ConfigFile;
    for (const std::string& candidate : {std::string(FileName), UserSettingsFile()})
        if (!candidate.empty() && IsFile(candidate))
            return candidate;
    return std::nullopt;
}

std::string ReadPasswordFile(const std::string& fileName) {
    std::string line;
    try {
        line = platform::ReadNamedFile(fileName);
    } catch (const platform::FileError& failure) {
        throw UsageError(
            Format("The password file %s cannot be read: %s.", fileName.c_str(), failure.Reason.c_str()));
    }
    line.erase(std::min(line.find('\n'), line.size()));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (Trim(line).empty())
        throw UsageError(
            Format("The password file %s is empty or its first line is blank.", fileName.c_str()));
    return line;
}

ConnectionTexts ResolveConnection(const ConnectionRequest& request) {
    ConnectionTexts texts;
    if (const auto file = FindSettingsFile(request)) {
        texts = FromFile(*file, request);
        if (!NamesTheFilesSwitch(texts, request)) {
            texts.UserName = ConnectionTexts().UserName;
            texts.Password.clear();
            texts.WithoutCredentials =
                !request.UserName && !request.Password && !request.PasswordFile &&
                !(request.EnvironmentPassword && !request.EnvironmentPassword->empty());
        }
    } else if (!request.Host) {
        throw ConfigError(NoSwitchNamed());
    }
    if (request.Host)
        texts.Address = *request.Host;
    if (request.Port)
        texts.Port = *request.Port;
    if (request.UserName)
        texts.UserName = *request.UserName;
    if (request.PasswordFile)
        texts.Password = ReadPasswordFile(*request.PasswordFile);
    else if (request.Password)
        texts.Password = *request.Password;
    else if (request.EnvironmentPassword && !request.EnvironmentPassword->empty())
        texts.Password = *request.EnvironmentPassword;
    return texts;
}

} // namespace qdl::control
