#pragma once

#include "Failures.h"
#include "Outlets.h"
#include "Schedule.h"
#include "SwitchTarget.h"

#include <chrono>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qdl::control {

// What one probe of a switch asks for.
struct ProbeRequest {
    bool Schedule = false;                  // the eight schedule entries too
    std::map<int, std::string> OutletNames; // outlet number to the name of what it powers
    // A "switch" label on every series, where several switches' files meet in one collector
    // (the node exporter's textfile collector); Prometheus's own scrapes label them by instance.
    std::string SwitchLabel;
    // The probe ends by then, whatever the switch does: the exchanges get what is left.
    std::chrono::steady_clock::time_point Deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(10);
};

// What a probe found. Up only when all four outlets were read under the scripts' strict rule
// (and, where asked for, all eight schedule entries); else the failure's kind and message, and
// no outlet states at all: an unreadable switch never shows as OFF.
struct ProbeResult {
    bool Up = false;
    std::optional<control::FailureKind> Kind; // why it is not up
    std::string FailureKind;                  // the kind's name: "timeout", "auth", ...
    std::string Message;
    int HttpStatus = 0; // what the switch answered, for a failure of kind http or auth
    OutletStates Outlets{};
    std::vector<ScheduleEntry> Schedule;
    double DurationSeconds = 0;
};

ProbeResult ProbeSwitch(const SwitchTarget& target, const ProbeRequest& request);

// When a schedule entry next switches its outlet, as a Unix time, read as the local time of this
// machine (the switch keeps no time zone); nothing for a disabled entry or a single one that is
// past.
std::optional<std::time_t> NextFiring(const ScheduleEntry& entry, std::time_t now);

// A label value as the text exposition format writes it: \, " and line feeds escaped.
std::string LabelValue(const std::string& text);

// The Prometheus text exposition (version 0.0.4) of a probe: each family with its HELP and TYPE
// once, in base units.
std::string ProbeExposition(const ProbeResult& result, const ProbeRequest& request, std::time_t now);

} // namespace qdl::control
