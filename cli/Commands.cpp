#include "Commands.h"

#include "Arguments.h"
#include "Check.h"
#include "Files.h"
#include "Metrics.h"
#ifdef QDL_LINUX_FRONT_ENDS
#include "Shell.h"
#endif
#include "StopRequests.h"
#include "TextUtil.h"

#include <CLI/CLI.hpp>

#include <memory>

namespace qdl::cli {
namespace {

using namespace control;
namespace stops = platform::stops;

// A user who types a file name wants a file: on Windows aux.json would be written to a device.
void RequireNoAccidentalDevice(const std::string& fileName) {
    if (const auto device = platform::AccidentalDevice(fileName))
        throw UsageError(
            Format("'%s' names the device %s on Windows, not a file: choose another name (the device "
                   "itself is named %s alone). Nothing was sent.",
                   fileName.c_str(), device->c_str(), device->c_str()));
}

// Checked before anything is sent, so that a file that cannot be written costs no request.
void RequireWritable(const std::string& fileName) {
    RequireNoAccidentalDevice(fileName);
    try {
        platform::RequireReplaceable(fileName);
    } catch (const platform::FileError& failure) {
        throw UsageError(Format("The file %s cannot be written: %s. Nothing was sent.", fileName.c_str(),
                                failure.Reason.c_str()));
    }
}

// The old file stays as it was until the new one is whole: a failed export never costs the last
// good one.
void WriteWhole(const std::string& fileName, const std::string& text,
                platform::FileAccess access = platform::FileAccess::AsBefore) {
    try {
        platform::ReplaceWholeFile(fileName, text, access);
    } catch (const platform::FileError& failure) {
        throw Failure(FailureKind::Protocol,
                      Format("The file %s cannot be written: %s; it was left as it was.", fileName.c_str(),
                             failure.Reason.c_str()));
    }
}

// "-" is standard input, as for most tools; read within the same bound as a file.
std::string ReadFile(const std::string& fileName, std::istream& in) {
    if (fileName == "-") {
        std::string text(platform::FileReadLimit + 1, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
        if (text.size() > platform::FileReadLimit)
            throw UsageError(Format("The schedule on standard input cannot be read: %s.",
                                    platform::TooLargeReason(platform::FileReadLimit).c_str()));
        return text;
    }
    RequireNoAccidentalDevice(fileName);
    try {
        return platform::ReadNamedFile(fileName);
    } catch (const platform::FileError& failure) {
        throw UsageError(
            Format("The schedule file %s cannot be read: %s.", fileName.c_str(), failure.Reason.c_str()));
    }
}

std::string OutletsOf(const OutletChanges& changes) {
    std::vector<int> outlets;
    for (const auto& change : changes)
        outlets.push_back(change.first);
    return OutletsText(outlets);
}

// A change of outlets: what a second stop request may leave undone, and what a first one changes.
Command OutletChange(std::function<void(SwitchSession&, Output&)> run, const std::string& outlets) {
    Command command;
    command.Run = std::move(run);
    command.AtRisk = [outlets] { return outlets + " may not be as asked"; };
    command.Stopped = [](const std::string& signal) {
        return "Stopped by " + signal +
               " once the change was made and checked; the switch shows what is printed.";
    };
    return command;
}

Command ScheduleChange(std::function<void(SwitchSession&, Output&)> run, const std::string& slot) {
    Command command;
    command.Run = std::move(run);
    command.AtRisk = [slot] { return "schedule entry " + slot + " may not be as asked"; };
    command.CheckWith = "qdlctl schedule";
    command.Stopped = [](const std::string& signal) {
        return "Stopped by " + signal +
               " once the entry was written and checked; the switch shows what is printed.";
    };
    return command;
}

// A change held for `settle` against writers on other hosts; a change applied again must show
// within the window.
OutletStates Settled(SwitchSession& session, const OutletChanges& changes, const OutletStates& shown,
                     std::chrono::milliseconds settle) {
    return HoldChange(session, changes, SettlePolicy(settle), shown).States;
}

// The named outlets as they are now, as changes to hold.
OutletChanges AsShown(const OutletStates& shown, const std::vector<int>& outlets) {
    OutletChanges changes;
    for (int outlet : outlets)
        changes[outlet] = shown[static_cast<std::size_t>(outlet - 1)];
    return changes;
}

} // namespace

HoldPolicy SettlePolicy(std::chrono::milliseconds settle) {
    HoldPolicy policy;
    policy.Settle = settle;
    policy.Every = std::min(settle, std::chrono::milliseconds(1000));
    policy.PowerTimeout = settle;
    return policy;
}

Commands::Commands(CLI::App& app, const ConnectionOptions& connection, HelpFormat& help, std::istream& in,
                   std::ostream& out)
    : app_(app), connection_(connection), help_(help), in_(in), out_(out) {
    AddStatus();
    AddSwitching("on", "Switch the named outlets on; the others stay as the switch has them", true);
    AddSwitching("off", "Switch the named outlets off; the others stay as the switch has them", false);
    AddToggle();
    AddSet();
    AddAll();
    AddCycle();
    AddSchedule();
    AddUrl();
#ifdef QDL_LINUX_FRONT_ENDS
    AddShell();
#endif
    AddCheck();
    AddMetrics();
}

Command Commands::Chosen() {
    return chosen_();
}

void Commands::AddSettle(CLI::App& command) {
    command
        .add_option("--settle", settle_,
                    "Keep reading the outlets SECONDS after the change shows and apply it again whenever "
                    "another host undid it, 0 to 600 [0]")
        ->option_text("SECONDS");
}

std::chrono::milliseconds Commands::Settle() const {
    return ParseSeconds(settle_, "--settle", 600);
}

CLI::App* Commands::Add(CLI::App& parent, const char* name, const char* help, const char* usage,
                        std::function<void(CLI::App&)> define) {
    auto* command = parent.add_subcommand(name, help);
    command->allow_extras();
    command->group("Commands");
    command->footer("The connection options (--host, --config, --timeout, --json, ...): see qdlctl --help.");
    help_.Usage(command, std::string("qdlctl [OPTIONS] ") + usage);
    // A command's options are defined once the arguments choose it: defining every command's
    // would cost a call more than all the rest of its start-up.
    undefined_[command] = std::move(define);
    command->preparse_callback([this, command](std::size_t) { Define(command); });
    return command;
}

void Commands::Define(CLI::App* command) {
    const auto found = undefined_.find(command);
    if (found == undefined_.end())
        return;
    const auto define = std::move(found->second);
    undefined_.erase(found);
    define(*command);
}

void Commands::DefineAll() {
    while (!undefined_.empty())
        Define(undefined_.begin()->first);
}

void Commands::AddStatus() {
    Add(app_, "status", "Print the four outlets as the switch shows them", "status",
        [this](CLI::App& command) {
            command.callback([this] {
                chosen_ = [] {
                    Command command;
                    command.Run = [](SwitchSession& session, Output& output) {
                        output.Outlets(ReadOutlets(session));
                    };
                    return command;
                };
            });
        });
}

void Commands::AddSwitching(const char* name, const char* help, bool on) {
    Add(app_, name, help, on ? "on N..." : "off N...",
        [this, on, name = std::string(name)](CLI::App& command) {
            command.add_option("outlets", words_, "Outlet numbers, 1 to 4, each once")->option_text("N...");
            AddSettle(command);
            command.callback([this, on, name] {
                chosen_ = [this, on, name] {
                    const std::vector<int> outlets = ParseOutlets(words_, name);
                    OutletChanges changes;
                    for (int outlet : outlets)
                        changes[outlet] = on;
                    const auto settle = Settle();
                    return OutletChange(
                        [changes, outlets, settle](SwitchSession& session, Output& output) {
                            output.Changes(Settled(session, changes, ChangeOutlets(session, changes), settle),
                                           outlets);
                        },
                        OutletsText(outlets));
                };
            });
        });
}

void Commands::AddToggle() {
    Add(app_, "toggle", "Switch the named outlets to the other state", "toggle N...",
        [this](CLI::App& command) {
            command.add_option("outlets", words_, "Outlet numbers, 1 to 4, each once")->option_text("N...");
            AddSettle(command);
            command.callback([this] {
                chosen_ = [this] {
                    const std::vector<int> outlets = ParseOutlets(words_, "toggle");
                    const auto settle = Settle();
                    return OutletChange(
                        [outlets, settle](SwitchSession& session, Output& output) {
                            const OutletStates shown = ToggleOutlets(session, outlets);
                            output.Changes(Settled(session, AsShown(shown, outlets), shown, settle), outlets);
                        },
                        OutletsText(outlets));
                };
            });
        });
}

void Commands::AddSet() {
    Add(app_, "set", "Set several outlets in one command, as in: set 1=on 3=off", "set N=on|off...",
        [this](CLI::App& command) {
            command.add_option("settings", words_, "OUTLET=on or OUTLET=off, each outlet once")
                ->option_text("N=on|off...");
            AddSettle(command);
            command.callback([this] {
                chosen_ = [this] {
                    std::vector<int> outlets;
                    const OutletChanges changes = ParseSettings(words_, outlets);
                    const auto settle = Settle();
                    return OutletChange(
                        [changes, outlets, settle](SwitchSession& session, Output& output) {
                            output.Changes(Settled(session, changes, ChangeOutlets(session, changes), settle),
                                           outlets);
                        },
                        OutletsOf(changes));
                };
            });
        });
}

void Commands::AddAll() {
    Add(app_, "all", "Switch all four outlets on or off", "all on|off", [this](CLI::App& command) {
        command.add_option("state", state_, "on or off")->option_text("on|off");
        AddSettle(command);
        command.callback([this] {
            chosen_ = [this] {
                if (state_ != "on" && state_ != "off")
                    throw UsageError(state_.empty()
                                         ? "all needs on or off, as in: qdlctl all off"
                                         : Format("all takes on or off, not '%s'.", state_.c_str()));
                const bool on = state_ == "on";
                const auto settle = Settle();
                return OutletChange(
                    [on, settle](SwitchSession& session, Output& output) {
                        const OutletStates shown = SwitchAll(session, on);
                        output.Changes(Settled(session, AsShown(shown, {1, 2, 3, 4}), shown, settle),
                                       {1, 2, 3, 4});
                    },
                    "outlets 1, 2, 3, 4");
            };
        });
    });
}

void Commands::AddCycle() {
    Add(app_, "cycle", "Switch the named outlets off, wait, and on again; each step is checked",
        "cycle [--off-time SECONDS] N...", [this](CLI::App& command) {
            command.add_option("outlets", words_, "Outlet numbers, 1 to 4, each once")->option_text("N...");
            command.add_option("--off-time", offTime_, "Seconds the outlets stay off, 0 to 3600 [5]")
                ->option_text("SECONDS");
            AddSettle(command);
            command.callback([this] { chosen_ = [this] { return Cycle(); }; });
        });
}

Command Commands::Cycle() {
    const std::vector<int> outlets = ParseOutlets(words_, "cycle");
    const auto offTime = ParseSeconds(offTime_, "--off-time", 3600);
    const auto settle = Settle();
    Command cycle;
    cycle.Run = [outlets, offTime, settle](SwitchSession& session, Output& output) {
        const auto wait = [](std::chrono::milliseconds time) { stops::WaitUnlessStopped(time); };
        output.Changes(CycleOutlets(session, outlets, offTime, wait, SettlePolicy(settle)), outlets);
    };
    cycle.AtRisk = [outlets] { return OutletsText(outlets) + " may be left OFF"; };
    cycle.Stopped = [outlets](const std::string& signal) {
        return "Stopped by " + signal + ": the off time was cut short and " + OutletsText(outlets) +
               " switched on again; the switch shows what is printed.";
    };
    return cycle;
}

void Commands::AddSchedule() {
    Add(app_, "schedule", "Print the eight schedule entries; or change them",
        "schedule [set|clear|export|import ...]", [this](CLI::App& schedule) {
            schedule.require_subcommand(0, 1);
            schedule.callback([this] {
                if (!chosen_)
                    chosen_ = [] {
                        Command command;
                        command.Run = [](SwitchSession& session, Output& output) {
                            output.Entries(ReadSchedule(session));
                        };
                        return command;
                    };
            });
            AddScheduleSet(schedule);
            AddScheduleClear(schedule);
            AddScheduleExport(schedule);
            AddScheduleImport(schedule);
        });
}

void Commands::AddScheduleSet(CLI::App& schedule) {
    Add(schedule, "set", "Write one entry, then read it back and compare",
        "schedule set SLOT --date YYYY-MM-DD --time HH:MM:SS --repeat MODE --on|--off",
        [this](CLI::App& set) {
            set.add_option("slot", slot_, "1A, 1B, 2A, 2B, 3A, 3B, 4A or 4B")->option_text("SLOT");
            set.add_option("--date", date_, "The day, YYYY-MM-DD")->option_text("DATE");
            set.add_option("--time", time_, "The time of day, HH:MM:SS, 00:00:00 to 23:59:59")
                ->option_text("TIME");
            set.add_option("--repeat", repeat_, "disable, once, everyday, weekdays or weekend")
                ->option_text("MODE");
            set.add_flag("--on", on_, "Switch the outlet on at that time");
            set.add_flag("--off", off_, "Switch the outlet off at that time");
            set.callback([this] { chosen_ = [this] { return ScheduleSet(); }; });
        });
}

Command Commands::ScheduleSet() {
    auto required = [](const std::string& value, const char* what) {
        if (value.empty())
            throw UsageError(Format("schedule set needs %s.", what));
    };
    required(slot_, "the slot, 1A to 4B");
    required(date_, "--date YYYY-MM-DD");
    required(time_, "--time HH:MM:SS");
    required(repeat_, "--repeat disable|once|everyday|weekdays|weekend");
    if (on_ == off_)
        throw UsageError("schedule set needs one of --on or --off.");
    ScheduleEntry entry;
    entry.Slot = slot_;
    RequireSlot(entry.Slot);
    entry.Day = ParseIsoDate(date_);
    entry.At = ParseIsoTime(time_);
    entry.Repeat = ParseRepeatName(repeat_);
    entry.On = on_;
    return ScheduleChange(
        [entry](SwitchSession& session, Output& output) { output.Entries({WriteEntry(session, entry)}); },
        entry.Slot);
}

void Commands::AddScheduleClear(CLI::App& schedule) {
    Add(schedule, "clear", "Set one entry's repeat mode to disable, the rest as read", "schedule clear SLOT",
        [this](CLI::App& clear) {
            clear.add_option("slot", slot_, "1A, 1B, 2A, 2B, 3A, 3B, 4A or 4B")->option_text("SLOT");
            clear.callback([this] {
                chosen_ = [this] {
                    if (slot_.empty())
                        throw UsageError("schedule clear needs the slot, 1A to 4B.");
                    RequireSlot(slot_);
                    const std::string slot = slot_;
                    return ScheduleChange(
                        [slot](SwitchSession& session, Output& output) {
                            output.Entries({ClearEntry(session, slot)});
                        },
                        slot);
                };
            });
        });
}

void Commands::AddScheduleExport(CLI::App& schedule) {
    Add(schedule, "export", "Write the eight entries as JSON, to FILE or stdout", "schedule export [FILE]",
        [this](CLI::App& exportCommand) {
            exportCommand
                .add_option(
                    "file", file_,
                    "File to write, replaced whole once all eight were read; a device or FIFO is written "
                    "as it is; - or none: standard output")
                ->option_text("[FILE]");
            exportCommand.callback([this] {
                chosen_ = [this] {
                    const std::string fileName = file_ == "-" ? std::string() : file_;
                    if (!fileName.empty())
                        RequireWritable(fileName);
                    Command command;
                    command.Run = [fileName](SwitchSession& session, Output& output) {
                        const std::string document = ScheduleDocument(ReadSchedule(session));
                        if (fileName.empty())
                            output.Raw(document);
                        else
                            WriteWhole(fileName, document);
                    };
                    return command;
                };
            });
        });
}

void Commands::AddScheduleImport(CLI::App& schedule) {
    Add(schedule, "import",
        "Check a file of eight entries, write them all, read them back and list every difference",
        "schedule import FILE", [this](CLI::App& importCommand) {
            importCommand.add_option("file", file_, "File written by schedule export; -: standard input")
                ->option_text("FILE");
            importCommand.callback([this] { chosen_ = [this] { return ScheduleImport(); }; });
        });
}

Command Commands::ScheduleImport() {
    if (file_.empty())
        throw UsageError("schedule import needs the file written by schedule export.");
    const auto entries = ParseScheduleFile(ReadFile(file_, in_), file_ == "-" ? "on standard input" : file_);
    auto written = std::make_shared<std::vector<std::string>>();
    Command command;
    command.Run = [entries, written](SwitchSession& session, Output& output) {
        const ImportResult result = ImportSchedule(session, entries, [] { return stops::Requested() != 0; });
        *written = result.Written;
        // With --json the failure prints what the switch shows, as one document.
        if (result.Differences.empty() || !output.Json())
            output.Import(result);
        if (!result.Differences.empty())
            throw ScheduleCheckFailed(Format("%s does not show %zu of the entries as in the file.",
                                             session.Target().Name().c_str(), result.Differences.size()),
                                      result.Shown);
    };
    command.AtRisk = [] { return "the schedule may be written only in part"; };
    command.CheckWith = "qdlctl schedule";
    command.Stopped = [written](const std::string& signal) {
        std::string slots;
        for (const auto& slot : *written)
            slots += (slots.empty() ? "" : ", ") + slot;
        return Format("Stopped by %s after %zu of the 8 entries: %s%s.", signal.c_str(), written->size(),
                      written->empty() ? "none was written" : "written: ", slots.c_str());
    };
    return command;
}

void Commands::AddUrl() {
    Add(app_, "url", "Print the switch's web page address, as the window's Web Control opens it", "url",
        [this](CLI::App& command) {
            command.callback([this] {
                chosen_ = [this] {
                    Command command;
                    const ConnectionTexts texts = connection_.Texts();
                    command.RunOffline = [texts](Output& output) {
                        output.Text("url", WebPageAddress(texts));
                    };
                    return command;
                };
            });
        });
}

#ifdef QDL_LINUX_FRONT_ENDS
void Commands::AddShell() {
    Add(app_, "shell", "Read one command a line (status, on, off, cycle, quit), for power-management engines",
        "shell [--off-time SECONDS]", [this](CLI::App& command) {
            command
                .add_option("--off-time", offTime_, "Seconds a cycle keeps the outlets off, 0 to 3600 [5]")
                ->option_text("SECONDS");
            command.callback([this] {
                chosen_ = [this] {
                    const auto offTime = ParseSeconds(offTime_, "--off-time", 3600);
                    Command shell;
                    shell.RunOwn = [this, offTime](const SwitchTarget& target) {
                        return RunShell(target, offTime, in_, out_);
                    };
                    return shell;
                };
            });
        });
}

#endif

void Commands::AddCheck() {
    Add(app_, "check", "Check the switch as a monitoring plugin: one status line, exit 0 to 3",
        "check [-w RANGE] [-c RANGE] [--expect 1=on,2=off,...]", [this](CLI::App& command) {
            command
                .add_option("-w,--warning", warning_, "WARNING when the response time in seconds is outside")
                ->option_text("RANGE");
            command
                .add_option("-c,--critical", critical_,
                            "CRITICAL when the response time in seconds is outside")
                ->option_text("RANGE");
            command.add_option("--expect", expect_, "CRITICAL when an outlet shows another state")
                ->option_text("1=on,2=off,...");
            // Run as the plugin, the help names it and lists the options that name the switch,
            // which belong to qdlctl as a whole.
            command.footer(
                std::string(plugin_.empty()
                                ? "The connection options (-H/--host, -p/--port, -t/--timeout, ...): see "
                                  "qdlctl --help."
                                : "The switch: -H/--host ADDRESS, -p/--port PORT (1 to 65535), -t/--timeout "
                                  "SECONDS (1 to 30), --user NAME, --password-file FILE or --password TEXT; "
                                  "or --config FILE [--section NAME] naming it as the window keeps it.") +
                "\n\nRANGE as the monitoring plugins write it, without blanks: 10, 10:, ~:10, 10:20 or "
                "@10:20, each number a decimal such as 2, 0.5 or 5e-1 (one too small to tell from 0 counts "
                "as 0). Exit codes: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN (bad arguments and --help; "
                "nothing was sent).");
            if (!plugin_.empty())
                help_.Usage(&command, plugin_ + " -H ADDRESS [-p PORT] [-t SECONDS] [-w RANGE] [-c RANGE] "
                                                "[--expect 1=on,2=off,...]");
            command.callback([this] {
                chosen_ = [this] {
                    const CheckRequest request{warning_, critical_, expect_};
                    RequireValidCheck(request);
                    Command check;
                    check.RunOwn = [this, request](const SwitchTarget& target) {
                        return RunCheck(target, request, out_);
                    };
                    return check;
                };
            });
        });
}

namespace {

// A label value: Prometheus and the node exporter refuse a whole file for one that is not UTF-8.
std::string RequireLabelText(const char* option, const std::string& text) {
    if (!IsValidUtf8(text))
        throw UsageError(Format("%s '%s' is not valid UTF-8: Prometheus takes only UTF-8 label values.",
                                option, AsciiPrintable(text, 40).c_str()));
    return text;
}

// "3=web-server": an outlet and the name of what it powers.
std::map<int, std::string> OutletNames(const std::vector<std::string>& words) {
    std::map<int, std::string> names;
    for (const auto& word : words) {
        const auto equals = word.find('=');
        const std::string number = word.substr(0, equals);
        if (equals == std::string::npos || number.size() != 1 || number[0] < '1' || number[0] > '4' ||
            names.count(number[0] - '0'))
            throw UsageError(Format("--outlet-name takes OUTLET=NAME, each outlet 1 to 4 once, not '%s'.",
                                    Printable(word, 40).c_str()));
        names[number[0] - '0'] = RequireLabelText("--outlet-name", word.substr(equals + 1));
    }
    return names;
}

} // namespace

void Commands::AddMetrics() {
    Add(app_, "metrics",
        "Print the switch's state as Prometheus metrics, or write them for a textfile collector",
        "metrics [--output FILE] [--schedule] [--outlet-name N=NAME...]", [this](CLI::App& command) {
            command
                .add_option(
                    "-o,--output", output_,
                    "Write FILE whole (a temporary file beside it, then renamed; mode 0644), also when "
                    "the switch cannot be read")
                ->option_text("FILE");
            command.add_flag("--schedule", schedule_, "The eight schedule entries too");
            command
                .add_option(
                    "--switch-name", switchName_,
                    "A switch=\"NAME\" label on every series, where several switches' files meet in one "
                    "collector [the switch's HOST:PORT]")
                ->option_text("NAME");
            command
                .add_option("--outlet-name", outletNames_,
                            "A name label for an outlet's series, as in 3=web-server")
                ->option_text("N=NAME");
            command.callback([this] {
                chosen_ = [this] {
                    control::ProbeRequest request;
                    request.Schedule = schedule_;
                    request.OutletNames = OutletNames(outletNames_);
                    const std::string fileName = output_;
                    if (!fileName.empty())
                        RequireWritable(fileName);
                    Command metrics;
                    const std::string switchName = RequireLabelText("--switch-name", switchName_);
                    metrics.RunOwn = [this, request, fileName,
                                      switchName](const SwitchTarget& target) mutable {
                        request.SwitchLabel = switchName.empty() ? target.Name() : switchName;
                        const int exchanges = request.Schedule ? 9 : 1;
                        request.Deadline = std::chrono::steady_clock::now() +
                                           exchanges * (target.ConnectTimeout + target.ReadTimeout);
                        const control::ProbeResult result = control::ProbeSwitch(target, request);
                        const std::string text =
                            control::ProbeExposition(result, request, std::time(nullptr));
                        if (fileName.empty())
                            out_ << text << std::flush;
                        else // for a collector running as its own user
                            WriteWhole(fileName, text, platform::FileAccess::Everybody);
                        // Written also when the switch cannot be read, so that an alert on qdl4816_up
                        // fires; the failure then ends the command with its own exit code.
                        if (!result.Up)
                            throw Failure(*result.Kind, result.Message);
                        return 0;
                    };
                    return metrics;
                };
            });
        });
}

} // namespace qdl::cli
