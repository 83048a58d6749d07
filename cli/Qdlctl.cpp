#include "Qdlctl.h"

#include "Check.h"
#include "Commands.h"
#include "Completion.h"
#include "ConnectionOptions.h"
#include "HelpFormat.h"
#include "Output.h"
#include "StopRequests.h"
#include "TextUtil.h"
#include "Wording.h"
#ifdef QDL_LINUX_FRONT_ENDS
#include "FenceParameters.h"
#include "FenceSettings.h"
#endif

#include <CLI/CLI.hpp>

#include <algorithm>

namespace qdl::cli {
namespace {

using namespace control;
namespace stops = platform::stops;

// The help's closing text. Where the settings live, how the password's variable is written and
// what stops a change are said as each system's users know them.
#ifdef _WIN32
const char* const Naming =
    R"(The switch must be named: by --host, or by a settings file. Without --config that is
.\QDL4816.ini, else %APPDATA%\quadrel4816\QDL4816.ini (where the window keeps its settings when
started from the Start menu). Its section [QDL4816] (or --section) gives IPV4, Port, UserName
and Pass as the window keeps them; options override single values. The password is taken from
--password-file, then --password, then %QDL4816_PASSWORD% (when not empty), then the file.
The file's UserName and Pass go only to the switch it names: when --host or --port names another
one, only --user, --password, --password-file and %QDL4816_PASSWORD% give credentials, and
without them none are sent. --port takes a whole number from 1 to 65535, nothing else.)";
const char* const Stopping = R"(Ctrl-C, Ctrl-Break or closing the console before a change's
first write stop with nothing switched; after it they let the change finish (a cycle switches its
outlets on again at once); a second one stops at once.)";
const char* const StoppedCode =
    "  128+N  stopped by Ctrl-C (130), Ctrl-Break (149) or closing the console (129), after saying\n"
    "         what the switch shows";
#else
const char* const Naming =
    R"(The switch must be named: by --host, or by a settings file. Without --config that is
./QDL4816.ini, else ~/.config/quadrel4816/QDL4816.ini (where the window keeps its settings when
started from the desktop menu). Its section [QDL4816] (or --section) gives IPV4, Port, UserName
and Pass as the window keeps them; options override single values. The password is taken from
--password-file, then --password, then $QDL4816_PASSWORD (when not empty), then the file.
The file's UserName and Pass go only to the switch it names: when --host or --port names another
one, only --user, --password, --password-file and $QDL4816_PASSWORD give credentials, and without
them none are sent. --port takes a whole number from 1 to 65535, nothing else.)";
const char* const Stopping = R"(Ctrl-C, SIGTERM or SIGHUP before a change's first write stop with
nothing switched; after it they let the change finish (a cycle switches its outlets on again at
once); a second one stops at once.)";
const char* const StoppedCode =
    "  128+N  stopped by signal N (130 for Ctrl-C), after saying what the switch shows";
#endif

std::string Footer() {
    std::string footer = std::string(Naming) + R"(

Every change holds the switch's lock on this machine while it reads, writes and confirms the
outlets, and is confirmed by a fresh read; a reply that does not show all four outlets is a
failure, never read as OFF. )" +
                         Stopping + R"(

Exit codes:
  0      done, and the switch shows what was asked
  1      the switch could not be reached or failed, or a result could not be written
  2      usage or settings error (bad outlet, slot, date, time or option; no switch named);
         nothing was sent
  3      the switch answered but does not show what was asked (with --json, standard output
         shows what it does show)
)" + StoppedCode + R"(

With --json, results are one JSON document on standard output and failures are
{"error": {"kind", "message", "host", "port"}} on standard error; the kinds are usage, config,
refused, unreachable, timeout, auth, http, protocol, check and interrupted.)";
#ifndef QDL_LINUX_FRONT_ENDS
    footer += R"(

The fence agent fence_qdl4816 and the PowerMan shell (qdlctl shell) are not available here: they
serve Linux clusters and power-management engines. qdlctl /? shows this help.)";
#endif
    return footer;
}

// The fence agent's options as its completion offers them, from its own table.
std::vector<AgentOption> AgentOptions() {
    std::vector<AgentOption> options;
#ifdef QDL_LINUX_FRONT_ENDS
    for (const fence::Parameter& parameter : fence::Parameters()) {
        AgentOption option;
        if (parameter.ShortName)
            option.Names.push_back(std::string("-") + parameter.ShortName);
        option.Names.push_back(std::string("--") + parameter.LongName);
        option.TakesValue = !parameter.IsFlag();
        const std::string key = parameter.Key;
        if (key == "action") {
            for (const auto& action : fence::Actions())
                option.Words += (option.Words.empty() ? "" : " ") + action;
        } else if (key == "port") {
            option.Words = "1 2 3 4";
        } else if (key == "debug") {
            option.Words = "FILE";
        } else if (key == "disable_timeout") {
            option.Words = "true false";
        }
        options.push_back(option);
    }
#endif
    return options;
}

bool Has(int argc, const char* const* argv, const char* argument) {
    return std::any_of(argv + 1, argv + argc, [&](const char* arg) { return std::string(arg) == argument; });
}

// What is said when a stop request ends the program at once: before a change sent its first
// write nothing was switched, and the program ends there; after it, a second request may leave
// the change half done.
void SetStopLines(const Output& output, const std::optional<SwitchTarget>& target,
                  const Command* change = nullptr) {
    const std::string name = target ? target->Name() : std::string("the switch");
    const std::string idle = Format("Stopped by a signal; nothing was changed on %s.", name.c_str());
    const std::string urgent = change
                                   ? Format("Stopped at once by a second signal: %s on %s; check it with %s.",
                                            change->AtRisk().c_str(), name.c_str(), change->CheckWith.c_str())
                                   : idle;
    stops::SetLines(output.FailureLine(FailureKind::Interrupted, idle, target),
                    output.FailureLine(FailureKind::Interrupted, urgent, target));
}

// A change is in flight from its first write on: a stop request before it ends the program with
// nothing switched; one after it lets the change finish (a cycle switches its outlets on again).
void Run(const Command& command, const SwitchTarget& target, Output& output) {
    SwitchSession session(target);
    if (!command.Changes()) {
        command.Run(session, output);
        return;
    }
    SetStopLines(output, target, &command);
    std::optional<stops::ChangeScope> change;
    session.BeforeEveryWrite([&change] {
        if (!change)
            change.emplace();
    });
    command.Run(session, output);
}

int Finish(Output& output, const std::optional<SwitchTarget>& target) {
    if (const auto reason = output.Flush()) {
        output.Failure(
            Failure(FailureKind::Protocol,
                    Format("The results cannot be written to standard output: %s.", reason->c_str())),
            target);
        return SwitchFailed;
    }
    return Done;
}

// With --json, exit 3 also prints what the switch does show, as `status` or `schedule` would.
void PrintShown(const std::exception& failure, Output& output) {
    if (!output.Json())
        return;
    if (const auto* outlets = dynamic_cast<const OutletCheckFailed*>(&failure))
        output.Outlets(outlets->Shown);
    else if (const auto* entries = dynamic_cast<const ScheduleCheckFailed*>(&failure))
        output.Entries(entries->Shown);
}

} // namespace

int ExitCodeOf(FailureKind kind) {
    switch (kind) {
    case FailureKind::Usage:
    case FailureKind::Config:
        return UsageFailed;
    case FailureKind::Check:
        return CheckFailedCode;
    default:
        return SwitchFailed;
    }
}

int RunQdlctl(int argc, const char* const* argv, std::istream& in, std::ostream& out, std::ostream& err,
              const char* plugin) {
    // --json may come last, after a failure was already found in what stands before it.
    Output output(out, err, Has(argc, argv, "--json"));
    if (plugin)
        SetCheckStopLine(std::nullopt);
    else
        SetStopLines(output, std::nullopt);

    CLI::App app{"Scripts a Quadrel 4816 network power switch: read and switch its four outlets, read and "
                 "write its eight schedule entries.",
                 "qdlctl"};
    auto help = std::make_shared<HelpFormat>();
    app.formatter(help);
    help->Usage(&app, "qdlctl [OPTIONS] COMMAND [ARGUMENTS]");
    // The commands are made without help options of their own: a --help after a command falls
    // through to the program's, whose help is that of the command chosen.
    app.set_help_flag();
    app.fallthrough();
    app.allow_extras();
    app.require_subcommand(0, 1);
    app.set_version_flag("--version", std::string("qdlctl ") + QDL_VERSION, "Print the name and version");
    ConnectionOptions connection;
    connection.AddTo(app);
    bool json = false;
    app.add_flag("--json", json, "Print one JSON document; failures as {\"error\": ...} on standard error");
    Commands commands(app, connection, *help, in, out);
    std::string completion;
    app.add_option("--completion", completion, "The shell completion script for bash, zsh or fish")
        ->group("");
    // Set after the commands are added, so that only the program's own help carries it.
    app.footer(Footer());
    if (plugin)
        commands.ServeAsPlugin(plugin);
    app.set_help_flag("-h,--help", "Print this help, or the command's, and exit");

    std::optional<SwitchTarget> target;
    try {
        if (argc <= 1) {
            err << ShortUsage(app);
            return UsageFailed;
        }
        try {
            app.parse(argc, argv);
        } catch (const CLI::Success& success) {
            const int code = app.exit(success, out, err);
            // The monitoring plugins answer --help with UNKNOWN, as nothing was checked.
            return app.got_subcommand("check") ? PluginUnknown : code;
        } catch (const CLI::ParseError& failure) {
            ThrowWorded(failure, app);
        }
        RequireNoLeftovers(app);
        if (!completion.empty()) {
            commands.DefineAll();
            output.Raw(CompletionScript(app, completion, AgentOptions()));
            return Finish(output, target);
        }
        if (app.get_subcommands().empty())
            throw UsageError("qdlctl needs a command: see qdlctl --help.");
        const Command command = commands.Chosen();
        if (command.RunOffline) {
            command.RunOffline(output);
            return Finish(output, target);
        }
        target = connection.Target();
        if (app.got_subcommand("check"))
            SetCheckStopLine(target);
        else
            SetStopLines(output, target);
        if (command.RunOwn)
            return command.RunOwn(*target);
        Run(command, *target, output);
        if (const int signal = stops::Requested()) {
            output.Flush();
            output.Failure(Failure(FailureKind::Interrupted, command.Stopped(stops::SignalName(signal))),
                           target);
            return 128 + signal;
        }
        return Finish(output, target);
    } catch (const std::exception& thrown) {
        if (app.got_subcommand("check") || plugin)
            return ReportCheckFailure(thrown, out);
        const Failure failure = target ? AsFailure(thrown, *target) : AsFailure(thrown, SwitchTarget{});
        PrintShown(thrown, output);
        output.Flush();
        output.Failure(failure, target);
        return ExitCodeOf(failure.Kind());
    }
}

} // namespace qdl::cli
