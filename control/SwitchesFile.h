#pragma once

#include "IniDocument.h"
#include "SwitchTarget.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qdl::control {

// One switch the exporter may probe, by the name scrapes give as their target.
struct SwitchEntry {
    std::string Name;
    SwitchTarget Target;
    std::map<int, std::string> OutletNames; // Outlet1=web-server
    bool Schedule = false;                  // Schedule=1: the schedule entries with every probe
    std::set<int> WithoutCommands;          // Outlet2Commands=0: shown, never switched by a hub
};

// The switches of the configuration file: an INI file as the window keeps its settings, one
// section per switch with IPV4, Port, UserName and Pass or PassFile. Names compare without regard
// to case.
class SwitchesFile {
public:
    const SwitchEntry* Find(const std::string& name) const;
    const std::vector<SwitchEntry>& Switches() const { return switches_; }

    // A value of a section that holds no switch (see Read); nothing when it is missing.
    std::optional<std::string> Setting(const std::string& section, const std::string& key) const;

    // Reads and checks the file; a ConfigError naming the file, the section and what is wrong.
    // The file holds passwords: one that others than its owner and group may read is refused.
    // The sections named in `notSwitches` ([mqtt], say) are settings of the program, no switches.
    static SwitchesFile Read(const std::string& path, const std::vector<std::string>& notSwitches = {});

private:
    std::vector<SwitchEntry> switches_;
    IniDocument document_;
};

} // namespace qdl::control
