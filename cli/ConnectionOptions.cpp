#include "ConnectionOptions.h"

#include "Conversions.h"
#include "Failures.h"
#include "TextUtil.h"

#include <CLI/CLI.hpp>

#include <cstdlib>

namespace qdl::cli {
namespace {

using control::UsageError;

// The one value of an option that may be given once.
std::optional<std::string> Single(const std::vector<std::string>& values, const char* option) {
    if (values.size() > 1)
        throw UsageError(Format("%s is given %zu times ('%s' and '%s'): give it once.", option, values.size(),
                                values[0].c_str(), values[1].c_str()));
    return values.empty() ? std::nullopt : std::optional(values.front());
}

void CheckPort(const std::string& text) {
    const int port = StrToIntDef(text, 80);
    if (port < 1 || port > 65535)
        throw UsageError(
            Format("--port %s is not a TCP port: give 1 to 65535 (a text that is no integer means "
                   "80, as in the window). Nothing was sent.",
                   text.c_str()));
}

std::chrono::seconds Timeout(const std::optional<std::string>& text) {
    if (!text)
        return std::chrono::seconds(5);
    const auto seconds = TryStrToInt(*text);
    if (!seconds || *seconds < 1 || *seconds > 30)
        throw UsageError(Format("--timeout %s is out of range: give 1 to 30 seconds.", text->c_str()));
    return std::chrono::seconds(*seconds);
}

} // namespace

void ConnectionOptions::AddTo(CLI::App& app) {
    auto add = [&](const char* name, std::vector<std::string>& values, const char* text, const char* help) {
        // Every occurrence is kept, so that one given twice can be named rather than silently
        // taking one of them; each takes exactly one value.
        app.add_option(name, values, help)
            ->option_text(text)
            ->expected(1)
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    };
    add("--config", config_, "FILE", "Settings file to read (never written); it must exist. See below");
    add("--section", section_, "NAME", "Section of the settings file [QDL4816]");
    add("-H,--host", host_, "ADDRESS", "Switch address (overrides IPV4)");
    add("-p,--port", port_, "PORT",
        "HTTP port, 1 to 65535; a text that is not an integer means 80, as in the window");
    add("--user", user_, "NAME", "User name (overrides UserName)");
    add("--password", password_, "TEXT", "Password; other users can see it in the process list");
    add("--password-file", passwordFile_, "FILE", "Read the password from the file's first line");
    add("-t,--timeout", timeout_, "SECONDS",
        "Limit for a whole reply and for the switch's lock, 1 to 30 [5]");
}

control::ConnectionRequest ConnectionOptions::Request() const {
    control::ConnectionRequest request;
    request.ConfigFile = Single(config_, "--config");
    if (auto section = Single(section_, "--section"))
        request.Section = *section;
    request.Host = Single(host_, "--host");
    if (request.Host && Trim(*request.Host).empty())
        throw UsageError("--host is empty: give the switch's address.");
    request.Port = Single(port_, "--port");
    if (request.Port)
        CheckPort(*request.Port);
    request.UserName = Single(user_, "--user");
    request.Password = Single(password_, "--password");
    request.PasswordFile = Single(passwordFile_, "--password-file");
    if (const char* environment = std::getenv("QDL4816_PASSWORD"))
        request.EnvironmentPassword = environment;
    Timeout(Single(timeout_, "--timeout"));
    return request;
}

control::ConnectionTexts ConnectionOptions::Texts() const {
    return control::ResolveConnection(Request());
}

control::SwitchTarget ConnectionOptions::Target() const {
    const auto timeout = Timeout(Single(timeout_, "--timeout"));
    control::SwitchTarget target = control::TargetOf(Texts());
    target.ReadTimeout = timeout;
    target.LockTimeout = timeout;
    return target;
}

} // namespace qdl::cli
