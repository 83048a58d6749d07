#include "FenceParameters.h"

#include "FenceFailure.h"
#include "TextUtil.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <istream>

namespace qdl::cli::fence {
namespace {

const char* const Version = "fence_qdl4816 " QDL_VERSION;

const Parameter* Find(const std::string& name) {
    std::string wanted = name;
    std::replace(wanted.begin(), wanted.end(), '-', '_');
    for (const Parameter& p : Parameters())
        if (wanted == p.Key || wanted == p.NewName())
            return &p;
    return nullptr;
}

bool IsTrue(const std::string& value) {
    const std::string lower = LowerCase(value);
    return lower == "1" || lower == "yes" || lower == "on" || lower == "true";
}

bool IsFalse(const std::string& value) {
    const std::string lower = LowerCase(value);
    return lower == "0" || lower == "no" || lower == "off" || lower == "false";
}

std::string Unquoted(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

void Take(Given& given, const Parameter& parameter, const std::string& line, const std::string& value) {
    if (!parameter.IsFlag())
        given.Values[parameter.Key] = value;
    else if (IsTrue(value))
        given.Values[parameter.Key] = "1";
    else if (IsFalse(value))
        given.Values.erase(parameter.Key);
    else
        given.Warnings.push_back(
            Format("Parse error: Ignoring option '%s' because it does not have value", Printable(line, 60).c_str()));
}

} // namespace

std::string Parameter::NewName() const {
    std::string name = LongName;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

std::string Parameter::Getopt() const {
    std::string text = ShortName ? std::string("-") + ShortName + ", " : std::string();
    text += std::string("--") + LongName;
    if (ValueName)
        text += std::string("=") + ValueName;
    return text;
}

const std::vector<Parameter>& Parameters() {
    static const std::vector<Parameter> parameters{
        {"action", "action", 'o', "string", "reboot", true, "[action]", "Fencing action"},
        {"ipaddr", "ip", 'a', "string", nullptr, true, "[ip]", "IP address or hostname of the switch"},
        {"ipport", "ipport", 'u', "integer", "80", false, "[port]", "TCP port of the switch's web server"},
        {"login", "username", 'l', "string", "admin", false, "[name]", "Login name"},
        {"passwd", "password", 'p', "string", nullptr, false, "[password]", "Login password"},
        {"passwd_script", "password-script", 'S', "string", nullptr, false, "[script]",
         "Script to run to retrieve the password (its first line of output)"},
        {"port", "plug", 'n', "string", nullptr, true, "[id]",
         "Outlet number, 1 to 4; several outlets separated by the plug separator"},
        {"quiet", "quiet", 'q', "boolean", nullptr, false, nullptr,
         "Disable logging to stderr. Does not affect --verbose or --debug-file"},
        {"verbose", "verbose", 'v', "boolean", nullptr, false, nullptr,
         "Verbose mode: every request and reply on stderr, the password masked. May be repeated"},
        {"verbose_level", "verbose-level", 0, "integer", nullptr, false, "[level]",
         "Level of debugging detail in output (the number of -v given)"},
        {"debug", "debug-file", 'D', "string", nullptr, false, "[debugfile]",
         "Write debug information to given file"},
        {"version", "version", 'V', "boolean", nullptr, false, nullptr,
         "Display version information and exit"},
        {"help", "help", 'h', "boolean", nullptr, false, nullptr, "Display help and exit"},
        {"plug_separator", "plug-separator", 0, "string", ",", false, "[char]",
         "Separator for plug parameter when specifying more than 1 plug"},
        {"separator", "separator", 'C', "string", ",", false, "[char]",
         "Separator for CSV created by 'list' operation"},
        {"delay", "delay", 0, "second", "0", false, "[seconds]",
         "Wait X seconds before fencing is started (off and reboot only)"},
        {"disable_timeout", "disable-timeout", 0, "string", nullptr, false, "[true/false]",
         "Disable timeout (true/false) (default: true when run from Pacemaker 2.0+)"},
        {"login_timeout", "login-timeout", 0, "second", "5", false, "[seconds]",
         "Accepted for compatibility; the switch's own limits apply"},
        {"power_timeout", "power-timeout", 0, "second", "20", false, "[seconds]",
         "Test X seconds for status change after ON/OFF"},
        {"power_wait", "power-wait", 0, "second", "5", false, "[seconds]",
         "Wait X seconds after issuing ON/OFF; a reboot keeps the outlets OFF at least this long"},
        {"settle", "settle", 0, "second", "6", false, "[seconds]",
         "Keep reading the outlets X seconds after a change shows, and apply it again whenever another "
         "writer undid it"},
        {"shell_timeout", "shell-timeout", 0, "second", "3", false, "[seconds]",
         "Accepted for compatibility; the switch's own limits apply"},
        {"stonith_timeout", "stonith-timeout", 0, "second", nullptr, false, "[seconds]",
         "The time the cluster allows one action; validate-all refuses settings whose worst case does not "
         "fit it"},
        {"stonith_status_sleep", "stonith-status-sleep", 0, "second", "1", false, "[seconds]",
         "Sleep X seconds between status calls during a STONITH action"},
        {"retry_on", "retry-on", 0, "integer", "1", false, "[attempts]",
         "Count of attempts to retry power on: power_timeout is allowed once for each"},
    };
    return parameters;
}

namespace {

// The cluster's fencer sends a few hundred bytes; what goes far beyond is no fencer's, and is
// refused before it can fill memory.
constexpr std::size_t LongestLine = 4096;
constexpr std::size_t LongestInput = 64 * 1024;

std::vector<std::string> BoundedLines(std::istream& in) {
    std::string text(LongestInput + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > LongestInput)
        throw FenceFailure(Format("Failed: Standard input holds more than %zu bytes; the cluster sends a few "
                                  "hundred.",
                                  LongestInput));
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const auto end = std::min(text.find('\n', start), text.size());
        if (end - start > LongestLine)
            throw FenceFailure(Format("Failed: Line %zu of standard input is longer than %zu bytes.",
                                      lines.size() + 1, LongestLine));
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

Given ReadStandardInput(std::istream& in) {
    Given given;
    for (std::string line : BoundedLines(in)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        const auto equals = line.find('=');
        const std::string name = line.substr(0, equals);
        const Parameter* parameter = Find(name);
        if (!parameter && name == "option")
            parameter = Find("action"); // the name older cluster software sends
        if (!parameter && name == "nodename")
            continue;
        if (!parameter || equals == std::string::npos) {
            given.Warnings.push_back(
                Format("Parse error: Ignoring unknown option '%s'", Printable(line, 60).c_str()));
            continue;
        }
        Take(given, *parameter, line, Unquoted(line.substr(equals + 1)));
    }
    if (given.Values.count("verbose") && !given.Values.count("verbose_level"))
        given.VerboseCount = 1;
    return given;
}

Given ReadArguments(int argc, const char* const* argv, std::ostream& out) {
    Given given;
    CLI::App app{
        "Fence agent for the Quadrel 4816 network power switch. Without arguments it reads name=value "
        "lines from standard input.",
        "fence_qdl4816"};
    app.set_help_flag();
    app.allow_extras();
    bool help = false, version = false;
    for (const Parameter& p : Parameters()) {
        const std::string flags =
            (p.ShortName ? std::string("-") + p.ShortName + "," : std::string()) + "--" + p.LongName;
        const std::string key = p.Key;
        if (key == "help")
            app.add_flag(flags, help, p.Description);
        else if (key == "version")
            app.add_flag(flags, version, p.Description);
        else if (key == "verbose")
            app.add_flag(flags, given.VerboseCount, p.Description);
        else if (p.IsFlag())
            app.add_flag_callback(
                flags, [&given, key] { given.Values[key] = "1"; }, p.Description);
        else
            app.add_option_function<std::string>(
                   flags, [&given, key](const std::string& value) { given.Values[key] = value; },
                   p.Description)
                ->option_text(p.ValueName);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& failure) {
        throw FenceFailure(Format("Parse error: %s", failure.what()));
    }
    for (const auto& extra : app.remaining()) {
        if (extra.size() > 1 && extra[0] == '-')
            throw FenceFailure(Format("Parse error: unknown option '%s'", extra.c_str()));
        given.Warnings.push_back(Format("Unused argument on command line: '%s'", extra.c_str()));
    }
    if (given.VerboseCount > 0)
        given.Values["verbose"] = "1";
    if (help || version) {
        out << (help ? app.help() : std::string(Version) + "\n");
        given.Done = true;
    }
    return given;
}

} // namespace qdl::cli::fence
