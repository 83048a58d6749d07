#pragma once

#include "ConnectionOptions.h"
#include "HelpFormat.h"
#include "Output.h"
#include "SwitchSession.h"

#include <functional>
#include <istream>
#include <map>
#include <string>

namespace CLI {
class App;
}

namespace qdl::cli {

// How qdlctl holds a change with --settle: read every second for `settle` after it shows, applied
// again whenever it was undone, given up after four windows.
control::HoldPolicy SettlePolicy(std::chrono::milliseconds settle);

// One command of the command line, once its arguments are read.
struct Command {
    // What it does with the switch; empty for a command that needs none.
    std::function<void(control::SwitchSession&, Output&)> Run;
    // What it does without a switch.
    std::function<void(Output&)> RunOffline;
    // A command with conventions of its own (the engine shell, the monitoring check): it prints
    // as it must and returns its exit code.
    std::function<int(const control::SwitchTarget&)> RunOwn;
    // For a change: what may be left undone when a second stop request ends it at once, such as
    // "outlet 3 may be left OFF" ...
    std::function<std::string()> AtRisk;
    // ... and what it says when it finished after a first one.
    std::function<std::string(const std::string& signalName)> Stopped;
    // The command that shows what a change stopped at once left behind.
    std::string CheckWith = "qdlctl status";

    bool Changes() const { return static_cast<bool>(AtRisk); }
};

// The commands of qdlctl: status, on, off, toggle, set, all, cycle, schedule (set, clear, export,
// import), url, shell and check. Each reads its own arguments with the project's wording.
class Commands {
public:
    Commands(CLI::App& app, const ConnectionOptions& connection, HelpFormat& help, std::istream& in,
             std::ostream& out);

    // The command the arguments chose, read; fails with a UsageError.
    Command Chosen();

    // Defines the options of every command, as those the arguments did not choose are not.
    void DefineAll();

    // Called as the monitoring plugin `name`: the check's help is the plugin's.
    void ServeAsPlugin(std::string name) { plugin_ = std::move(name); }

private:
    void AddStatus();
    void AddSwitching(const char* name, const char* help, bool on);
    void AddToggle();
    void AddSet();
    void AddAll();
    void AddCycle();
    void AddSchedule();
    void AddUrl();
    void AddShell();
    void AddCheck();
    void AddMetrics();
    void AddScheduleSet(CLI::App& schedule);
    void AddScheduleClear(CLI::App& schedule);
    void AddScheduleExport(CLI::App& schedule);
    void AddScheduleImport(CLI::App& schedule);
    void AddSettle(CLI::App& command);
    std::chrono::milliseconds Settle() const;
    Command Cycle();
    Command ScheduleSet();
    Command ScheduleImport();

    // Adds a command whose options and commands `define` makes once it is chosen.
    CLI::App* Add(CLI::App& parent, const char* name, const char* help, const char* usage,
                  std::function<void(CLI::App&)> define);
    void Define(CLI::App* command);

    CLI::App& app_;
    const ConnectionOptions& connection_;
    HelpFormat& help_;
    std::istream& in_;
    std::ostream& out_;
    // Each command sets how to read its arguments once they are parsed.
    std::function<Command()> chosen_;
    std::map<CLI::App*, std::function<void(CLI::App&)>> undefined_;
    std::vector<std::string> words_;
    std::string state_, offTime_ = "5", settle_ = "0";
    std::string slot_, date_, time_, repeat_, file_;
    std::string warning_, critical_, expect_;
    std::string output_, switchName_;
    std::vector<std::string> outletNames_;
    bool schedule_ = false;
    bool on_ = false, off_ = false;
    std::string plugin_;
};

} // namespace qdl::cli
