#pragma once

#include "SwitchTarget.h"

#include <map>
#include <string>
#include <vector>

namespace qdl::exporter {

// One switch the exporter may probe, by the name scrapes give as their target.
struct SwitchEntry {
    std::string Name;
    control::SwitchTarget Target;
    std::map<int, std::string> OutletNames; // Outlet1=web-server
    bool Schedule = false;                  // Schedule=1: the schedule entries with every probe
};

// The switches of the configuration file: an INI file as the window keeps its settings, one
// section per switch with IPV4, Port, UserName and Pass or PassFile. Names compare without regard
// to case.
class ExporterConfig {
public:
    const SwitchEntry* Find(const std::string& name) const;
    const std::vector<SwitchEntry>& Switches() const { return switches_; }

    // Reads and checks the file; a ConfigError naming the file, the section and what is wrong.
    // The file holds passwords: one that others than its owner and group may read is refused.
    static ExporterConfig Read(const std::string& path);

private:
    std::vector<SwitchEntry> switches_;
};

} // namespace qdl::exporter
