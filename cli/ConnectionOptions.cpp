#include "ConnectionOptions.h"

#include "Console.h"
#include "Failures.h"
#include "TextUtil.h"

#include <CLI/CLI.hpp>

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

// A whole decimal number and nothing else: what a script types is taken as it stands, never
// read the window's lenient way into some other number.
std::optional<int> WholeNumber(const std::string& text, int least, int most) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int value = std::stoi(text);
    return value >= least && value <= most ? std::optional(value) : std::nullopt;
}

// A mistyped port must not quietly become port 80, where a change would reach another switch.
void CheckPort(const std::string& text) {
    if (!WholeNumber(text, 1, 65535))
        throw UsageError(Format("--port '%s' is not a TCP port: give a whole number from 1 to 65535. "
                                "Nothing was sent.",
                                Printable(text, 40).c_str()));
}

std::chrono::seconds Timeout(const std::optional<std::string>& text) {
    if (!text)
        return std::chrono::seconds(5);
    const auto seconds = WholeNumber(*text, 1, 30);
    if (!seconds)
        throw UsageError(Format("--timeout '%s' is not a whole number of seconds from 1 to 30.",
                                Printable(*text, 40).c_str()));
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
    add("-H,--host", host_, "ADDRESS",
        "Switch address (overrides IPV4); the file's UserName and Pass are then sent only when it "
        "names the same switch");
    add("-p,--port", port_, "PORT", "HTTP port, a whole number from 1 to 65535 [the file's Port, else 80]");
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
    request.EnvironmentPassword = platform::EnvironmentValue("QDL4816_PASSWORD");
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
