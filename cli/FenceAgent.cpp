#include "FenceAgent.h"

#include "ConnectionOptions.h"
#include "Failures.h"
#include "Outlets.h"
#include "TextUtil.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

namespace qdl::cli {
namespace {

using namespace control;

// Everything a fence agent is told, by the names of its stdin lines.
struct FenceOptions {
    std::string Action = "reboot";
    std::optional<std::string> Ip;
    std::string IpPort = "80";
    std::string UserName = "admin";
    std::string Password = "40617253";
    std::optional<std::string> PasswordScript;
    std::optional<std::string> Plug;
    double PowerWait = 0;
    double Delay = 0;
};

// A fence agent reports every failure with exit 1, so that a cluster manager never mistakes a
// usage error for the 2 of `status` "off".
struct FenceFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const std::set<std::string> Actions{"on",   "off",     "reboot",   "status",
                                    "list", "monitor", "metadata", "validate-all"};

double Seconds(const std::string& name, const std::string& text) {
    try {
        std::size_t used = 0;
        const double value = std::stod(text, &used);
        if (used == text.size() && value >= 0 && value <= 3600)
            return value;
    } catch (const std::logic_error&) {
    }
    throw FenceFailure(
        Format("%s '%s' is not a number of seconds from 0 to 3600.", name.c_str(), text.c_str()));
}

void SetOption(FenceOptions& options, const std::string& name, const std::string& value) {
    using Setter = std::function<void(FenceOptions&, const std::string&)>;
    static const std::map<std::string, Setter> Setters{
        {"action", [](FenceOptions& o, const std::string& v) { o.Action = v; }},
        {"ip", [](FenceOptions& o, const std::string& v) { o.Ip = v; }},
        {"ipport", [](FenceOptions& o, const std::string& v) { o.IpPort = v; }},
        {"username", [](FenceOptions& o, const std::string& v) { o.UserName = v; }},
        {"password", [](FenceOptions& o, const std::string& v) { o.Password = v; }},
        {"password_script", [](FenceOptions& o, const std::string& v) { o.PasswordScript = v; }},
        {"plug", [](FenceOptions& o, const std::string& v) { o.Plug = v; }},
        {"power_wait", [](FenceOptions& o, const std::string& v) { o.PowerWait = Seconds("power_wait", v); }},
        {"delay", [](FenceOptions& o, const std::string& v) { o.Delay = Seconds("delay", v); }},
        // Cluster managers pass the node's name along; it names no outlet.
        {"nodename", [](FenceOptions&, const std::string&) {}},
    };
    static const std::map<std::string, std::string> Aliases{{"option", "action"},
                                                            {"ipaddr", "ip"},
                                                            {"login", "username"},
                                                            {"passwd", "password"},
                                                            {"port", "plug"}};
    const auto alias = Aliases.find(name);
    const auto setter = Setters.find(alias == Aliases.end() ? name : alias->second);
    if (setter == Setters.end())
        throw FenceFailure(Format("Unknown option '%s' on standard input.", name.c_str()));
    setter->second(options, value);
}

FenceOptions ReadStdin(std::istream& in) {
    FenceOptions options;
    for (std::string line; std::getline(in, line);) {
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            throw FenceFailure(Format("'%s' on standard input is not name=value.", line.c_str()));
        SetOption(options, Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
    }
    return options;
}

// Returns nothing when the arguments only asked for help or the version (already printed).
std::optional<FenceOptions> ReadArguments(int argc, const char* const* argv, std::ostream& out) {
    CLI::App app{"Fence agent for the Quadrel 4816 network power switch. Without arguments it reads "
                 "name=value lines from standard input: action, ip, ipport, username, password, "
                 "password_script, plug, power_wait, delay (old names: option, ipaddr, login, passwd, port).",
                 "fence_qdl4816"};
    app.set_version_flag("-V,--version", QDL_VERSION);
    std::map<std::string, std::string> given;
    auto text = [&](const char* flags, const char* name, const char* help) {
        app.add_option_function<std::string>(
            flags, [&given, name](const std::string& value) { given[name] = value; }, help);
    };
    text("-o,--action", "action", "on, off, reboot (default), status, list, monitor, metadata, validate-all");
    text("-a,--ip", "ip", "IP address or host name of the switch");
    text("-u,--ipport", "ipport", "HTTP port of the switch [80]");
    text("-l,--username", "username", "Login name [admin]");
    text("-p,--password", "password", "Login password");
    text("-S,--password-script", "password_script", "Script whose first output line is the password");
    text("-n,--plug", "plug", "Outlet number, 1 to 4");
    text("--power-wait", "power_wait", "Seconds to wait after issuing ON/OFF [0]");
    text("--delay", "delay", "Seconds to wait before fencing starts [0]");
    app.footer("Exit codes: 0 success; 1 failure; 2 status of an outlet that is OFF.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& success) {
        app.exit(success, out, out);
        return std::nullopt;
    } catch (const CLI::ParseError& failure) {
        throw FenceFailure(failure.what());
    }
    FenceOptions options;
    for (const auto& [name, value] : given)
        SetOption(options, name, value);
    return options;
}

int PlugNumber(const FenceOptions& options) {
    if (!options.Plug)
        throw FenceFailure("No plug given: say which outlet (1 to 4) with -n or plug=.");
    try {
        std::size_t used = 0;
        const int plug = std::stoi(*options.Plug, &used);
        if (used == options.Plug->size() && plug >= 1 && plug <= OutletCount)
            return plug;
    } catch (const std::logic_error&) {
    }
    throw FenceFailure(Format("There is no outlet '%s': the outlets are 1 to 4.", options.Plug->c_str()));
}

void Validate(const FenceOptions& options) {
    if (!Actions.count(options.Action))
        throw FenceFailure(Format("Unknown action '%s'.", options.Action.c_str()));
    if (options.Action == "metadata")
        return;
    if (!options.Ip || options.Ip->empty())
        throw FenceFailure("No switch address given: use -a or ip=.");
    if (options.Action == "on" || options.Action == "off" || options.Action == "reboot" ||
        options.Action == "status")
        PlugNumber(options);
}

struct PipeCloser {
    void operator()(FILE* pipe) const { ::pclose(pipe); }
};

std::string PasswordFromScript(const std::string& script) {
    std::unique_ptr<FILE, PipeCloser> pipe(::popen(script.c_str(), "r"));
    if (!pipe)
        throw FenceFailure("The password script cannot be started.");
    char line[4096] = "";
    if (std::fgets(line, sizeof line, pipe.get()) == nullptr)
        throw FenceFailure("The password script printed no password.");
    std::string password = line;
    while (!password.empty() && (password.back() == '\n' || password.back() == '\r'))
        password.pop_back();
    return password;
}

SwitchTarget FenceTarget(const FenceOptions& options) {
    ConnectionTexts texts;
    texts.Address = *options.Ip;
    texts.Port = options.IpPort;
    texts.UserName = options.UserName;
    texts.Password = options.PasswordScript ? PasswordFromScript(*options.PasswordScript) : options.Password;
    return control::TargetOf(texts);
}

void Wait(double seconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long long>(seconds * 1000)));
}

int PowerOnOrOff(SwitchSession& session, int plug, bool on, const FenceOptions& options, std::ostream& out) {
    const char* state = on ? "ON" : "OFF";
    if (ReadOutlets(session)[static_cast<std::size_t>(plug - 1)] == on) {
        out << "Success: Already " << state << "\n";
        return 0;
    }
    ChangeOutlets(session, {{plug, on}});
    Wait(options.PowerWait);
    out << "Success: Powered " << state << "\n";
    return 0;
}

int Reboot(SwitchSession& session, int plug, const FenceOptions& options, std::ostream& out,
           std::ostream& err) {
    ChangeOutlets(session, {{plug, false}});
    Wait(options.PowerWait);
    // The node is fenced once the outlet is confirmed OFF; a failure to switch it back on is
    // reported but does not undo that.
    try {
        ChangeOutlets(session, {{plug, true}});
    } catch (const std::runtime_error& failure) {
        err << "ERROR: outlet " << plug << " was left OFF: " << failure.what() << "\n";
        out << "Success: Powered OFF\n";
        return 0;
    }
    out << "Success: Rebooted\n";
    return 0;
}

int RunAction(const FenceOptions& options, std::ostream& out, std::ostream& err) {
    if (options.Action == "metadata") {
        out << FenceMetadata();
        return 0;
    }
    if (options.Action == "validate-all")
        return 0;
    SwitchSession session(FenceTarget(options));
    if (options.Action == "monitor") {
        ReadOutlets(session);
        return 0;
    }
    if (options.Action == "list") {
        ReadOutlets(session);
        for (int outlet = 1; outlet <= OutletCount; ++outlet)
            out << outlet << ",Outlet " << outlet << "\n";
        return 0;
    }
    const int plug = PlugNumber(options);
    if (options.Action == "status") {
        const bool on = ReadOutlets(session)[static_cast<std::size_t>(plug - 1)];
        out << "Status: " << (on ? "ON" : "OFF") << "\n";
        return on ? 0 : 2;
    }
    Wait(options.Delay);
    if (options.Action == "reboot")
        return Reboot(session, plug, options, out, err);
    return PowerOnOrOff(session, plug, options.Action == "on", options, out);
}

} // namespace

bool IsFenceAgentCall(int argc, const char* const* argv) {
    const char* slash = std::strrchr(argv[0], '/');
    if (std::strncmp(slash ? slash + 1 : argv[0], "fence_", 6) == 0)
        return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-o") == 0 || std::strncmp(argv[i], "--action", 8) == 0 ||
            std::strncmp(argv[i], "-o", 2) == 0)
            return true;
    return false;
}

int RunFenceAgent(int argc, const char* const* argv, std::istream& in, std::ostream& out, std::ostream& err) {
    try {
        std::optional<FenceOptions> options = argc > 1 ? ReadArguments(argc, argv, out) : ReadStdin(in);
        if (!options)
            return 0;
        Validate(*options);
        return RunAction(*options, out, err);
    } catch (const std::exception& failure) {
        err << "Failed: " << failure.what() << "\n";
        return 1;
    }
}

} // namespace qdl::cli
