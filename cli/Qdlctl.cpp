#include "Qdlctl.h"

#include "ConnectionOptions.h"
#include "Failures.h"
#include "Output.h"
#include "TextUtil.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace qdl::cli {
namespace {

using namespace control;

const char* const FooterText =
    R"(Options of qdlctl itself may stand before or after the command: --config FILE,
--section NAME, --host ADDRESS, --port PORT, --user NAME, --password TEXT, --password-file FILE,
--timeout SECONDS, --json (see qdlctl --help).

Exit codes:
  0  done, and the switch shows what was asked
  1  the switch could not be reached or failed (the message is the device library's own)
  2  usage error (bad outlet number, slot, date, time, option); nothing was sent
  3  the switch answered but does not show what was asked (the message says what it shows)

Connection data come from QDL4816.ini in the current folder (section [QDL4816], keys IPV4, Port,
UserName, Pass), as the window keeps them; the options override single values. The password is
taken from --password-file, then $QDL4816_PASSWORD, then --password, then the settings file.)";

// "2=on" -> {2, true}
std::pair<int, bool> ParseSetting(const std::string& text) {
    const auto equals = text.find('=');
    const std::string state = equals == std::string::npos ? std::string() : text.substr(equals + 1);
    int outlet = 0;
    std::istringstream number(text.substr(0, equals));
    if (!(number >> outlet) || !number.eof() || (state != "on" && state != "off"))
        throw UsageError(Format("'%s' is not an outlet setting: write OUTLET=on or OUTLET=off, as in 2=on.",
                                text.c_str()));
    RequireOutlet(outlet);
    return {outlet, state == "on"};
}

void RequireOutlets(const std::vector<int>& outlets) {
    for (int outlet : outlets)
        RequireOutlet(outlet);
}

void WriteFile(const std::string& fileName, const std::string& text) {
    std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
    if (!(file << text) || !file.flush())
        throw std::runtime_error(Format("%s cannot be written.", fileName.c_str()));
}

std::string ReadFile(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    if (!file)
        throw UsageError(Format("The schedule file %s cannot be read.", fileName.c_str()));
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void AddConnectionOptions(CLI::App& app, ConnectionOptions& connection, bool& json) {
    app.add_option("--config", connection.Config, "Settings file to read (never written)")
        ->option_text("FILE [QDL4816.ini]");
    app.add_option("--section", connection.Section, "Section of the settings file")
        ->option_text("NAME [QDL4816]");
    app.add_option("--host", connection.Host, "Switch address (overrides IPV4)")->option_text("ADDRESS");
    app.add_option("--port", connection.Port, "HTTP port; a text that is no integer means 80")
        ->option_text("PORT");
    app.add_option("--user", connection.User, "User name (overrides UserName)")->option_text("NAME");
    app.add_option("--password", connection.Password,
                   "Password; visible to other users in the process list, prefer --password-file")
        ->option_text("TEXT");
    app.add_option("--password-file", connection.PasswordFile, "Read the password from the file's first line")
        ->option_text("FILE");
    app.add_option("--timeout", connection.TimeoutSeconds, "Time limit for a whole reply, 1 to 30 s [5]")
        ->option_text("SECONDS");
    app.add_flag("--json", json, "Print one JSON document; errors as {\"error\": ...} on stderr");
}

// One command of the command line: what it runs once the arguments are read.
using Action = std::function<void(SwitchSession&, Output&)>;

class Commands {
public:
    Commands(CLI::App& app, ConnectionOptions& connection) : app_(app), connection_(connection) {}

    void Add() {
        AddStatus();
        AddChange("on", "Switch the named outlets on", true);
        AddChange("off", "Switch the named outlets off", false);
        AddToggle();
        AddSet();
        AddAll();
        AddCycle();
        AddSchedule();
        AddUrl();
    }

    // Set once a command's arguments are read; empty for `url`, which needs no switch.
    Action action;
    std::function<void(Output&)> offline;

private:
    void AddStatus() {
        app_.add_subcommand("status", "Print the four outlets as the switch reports them")->callback([this] {
            action = [](SwitchSession& session, Output& output) { output.Outlets(ReadOutlets(session)); };
        });
    }

    void AddChange(const char* name, const char* help, bool on) {
        auto* command =
            app_.add_subcommand(name, std::string(help) + "; the others stay as the switch has them");
        command->add_option("outlets", outlets_, "Outlet numbers, 1 to 4")->required()->option_text("N...");
        command->callback([this, on] {
            RequireOutlets(outlets_);
            OutletChanges changes;
            for (int outlet : outlets_)
                changes[outlet] = on;
            action = [this, changes](SwitchSession& session, Output& output) {
                output.Changes(ChangeOutlets(session, changes), outlets_);
            };
        });
    }

    void AddToggle() {
        auto* command = app_.add_subcommand("toggle", "Switch the named outlets to the other state");
        command->add_option("outlets", outlets_, "Outlet numbers, 1 to 4")->required()->option_text("N...");
        command->callback([this] {
            RequireOutlets(outlets_);
            action = [this](SwitchSession& session, Output& output) {
                output.Changes(ToggleOutlets(session, outlets_), outlets_);
            };
        });
    }

    void AddSet() {
        auto* command =
            app_.add_subcommand("set", "Set several outlets in one command, as in: set 1=on 3=off");
        command->add_option("settings", words_, "OUTLET=on or OUTLET=off")
            ->required()
            ->option_text("N=on|off...");
        command->callback([this] {
            OutletChanges changes;
            outlets_.clear();
            for (const auto& word : words_) {
                const auto [outlet, on] = ParseSetting(word);
                changes[outlet] = on;
                outlets_.push_back(outlet);
            }
            action = [this, changes](SwitchSession& session, Output& output) {
                output.Changes(ChangeOutlets(session, changes), outlets_);
            };
        });
    }

    void AddAll() {
        auto* command = app_.add_subcommand("all", "Switch all four outlets on or off, then read them back");
        command->add_option("state", state_, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
        command->callback([this] {
            action = [this](SwitchSession& session, Output& output) {
                output.Changes(SwitchAll(session, state_ == "on"), {1, 2, 3, 4});
            };
        });
    }

    void AddCycle() {
        auto* command = app_.add_subcommand(
            "cycle", "Switch the named outlets off, wait, and on again; each step is checked");
        command->add_option("outlets", outlets_, "Outlet numbers, 1 to 4")->required()->option_text("N...");
        command->add_option("--off-time", offSeconds_, "Seconds the outlets stay off [5]")
            ->check(CLI::Range(0.0, 3600.0))
            ->option_text("SECONDS");
        command->callback([this] {
            RequireOutlets(outlets_);
            action = [this](SwitchSession& session, Output& output) {
                const auto offTime = std::chrono::milliseconds(static_cast<long long>(offSeconds_ * 1000));
                output.Changes(
                    CycleOutlets(session, outlets_, offTime,
                                 [](std::chrono::milliseconds time) { std::this_thread::sleep_for(time); }),
                    outlets_);
            };
        });
    }

    void AddSchedule() {
        auto* schedule = app_.add_subcommand("schedule", "Print the eight schedule entries; or change them");
        schedule->require_subcommand(0, 1);
        schedule->callback([this] {
            if (action)
                return;
            action = [](SwitchSession& session, Output& output) { output.Entries(ReadSchedule(session)); };
        });

        auto* set = schedule->add_subcommand("set", "Write one entry, then read it back and compare");
        set->add_option("slot", slot_, "1A, 1B, 2A, 2B, 3A, 3B, 4A or 4B")->required();
        set->add_option("--date", date_, "YYYY-MM-DD")->required();
        set->add_option("--time", time_, "HH:MM:SS")->required();
        set->add_option("--repeat", repeat_, "disable, once, everyday, weekdays or weekend")->required();
        auto* on = set->add_flag("--on", on_, "Switch the outlet on at that time");
        auto* off = set->add_flag("--off", off_, "Switch the outlet off at that time");
        on->excludes(off);
        set->callback([this] {
            if (!on_ && !off_)
                throw UsageError("Say --on or --off.");
            ScheduleEntry entry;
            entry.Slot = slot_;
            RequireSlot(entry.Slot);
            entry.Day = ParseIsoDate(date_);
            entry.At = ParseIsoTime(time_);
            entry.Repeat = ParseRepeatName(repeat_);
            entry.On = on_;
            action = [entry](SwitchSession& session, Output& output) {
                output.Entries({WriteEntry(session, entry)});
            };
        });

        auto* clear =
            schedule->add_subcommand("clear", "Set one entry's repeat mode to disable, the rest as read");
        clear->add_option("slot", slot_, "1A, 1B, 2A, 2B, 3A, 3B, 4A or 4B")->required();
        clear->callback([this] {
            RequireSlot(slot_);
            action = [this](SwitchSession& session, Output& output) {
                output.Entries({ClearEntry(session, slot_)});
            };
        });

        auto* exportCommand =
            schedule->add_subcommand("export", "Write the eight entries as JSON, to FILE or stdout");
        exportCommand->add_option("file", file_, "File to write")->option_text("[FILE]");
        exportCommand->callback([this] {
            action = [this](SwitchSession& session, Output& output) {
                const std::string document = ScheduleDocument(ReadSchedule(session));
                if (file_.empty())
                    output.Raw(document);
                else
                    WriteFile(file_, document);
            };
        });

        auto* importCommand = schedule->add_subcommand(
            "import",
            "Check a file of eight entries, write them all, read them back and list every difference");
        importCommand->add_option("file", file_, "File written by schedule export")->required();
        importCommand->callback([this] {
            const auto entries = ParseScheduleFile(ReadFile(file_));
            action = [entries](SwitchSession& session, Output& output) {
                const auto differences = ImportSchedule(session, entries);
                output.Differences(differences);
                if (!differences.empty())
                    throw control::CheckFailed(
                        Format("%zu entries differ from the file.", differences.size()));
            };
        });
    }

    void AddUrl() {
        app_.add_subcommand("url",
                            "Print the switch's web page address, as the window's Web Control opens it")
            ->callback([this] {
                offline = [this](Output& output) {
                    output.Text("url", WebPageAddress(ResolveTexts(connection_)));
                };
            });
    }

    CLI::App& app_;
    ConnectionOptions& connection_;
    std::vector<int> outlets_;
    std::vector<std::string> words_;
    std::string state_;
    double offSeconds_ = 5;
    std::string slot_, date_, time_, repeat_, file_;
    bool on_ = false, off_ = false;
};

} // namespace

int RunQdlctl(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Scripts a Quadrel 4816 network power switch: read and switch its four outlets, read and "
                 "write its eight schedule entries.",
                 "qdlctl"};
    app.fallthrough();
    app.require_subcommand(1);
    app.set_version_flag("--version", QDL_VERSION);
    ConnectionOptions connection;
    bool json = false; // read off the arguments before parsing, see below
    AddConnectionOptions(app, connection, json);
    // Set before the commands are added, so that each command's help carries it too.
    app.footer(FooterText);
    Commands commands(app, connection);
    commands.Add();

    // --json may come last, after a failure was already found in what stands before it.
    Output output(out, err, std::any_of(argv + 1, argv + argc, [](const char* arg) {
                      return std::string(arg) == "--json";
                  }));
    try {
        try {
            app.parse(argc, argv);
        } catch (const CLI::Success& success) {
            return app.exit(success, out, err);
        } catch (const CLI::ParseError& failure) {
            const auto rest = app.remaining();
            if (app.get_subcommands().empty() && !rest.empty())
                throw UsageError(
                    Format("'%s' is not a command of qdlctl: see qdlctl --help.", rest.front().c_str()));
            throw UsageError(failure.what());
        }
        if (commands.offline) {
            commands.offline(output);
            return Done;
        }
        SwitchSession session(ResolveTarget(connection));
        commands.action(session, output);
        return Done;
    } catch (const UsageError& failure) {
        output.Error(failure.what());
        return UsageFailed;
    } catch (const control::CheckFailed& failure) {
        output.Error(failure.what());
        return ExitCode::CheckFailed;
    } catch (const std::exception& failure) {
        output.Error(failure.what());
        return SwitchFailed;
    }
}

} // namespace qdl::cli
