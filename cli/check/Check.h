#pragma once

#include "SwitchTarget.h"

#include <optional>
#include <ostream>
#include <string>

namespace qdl::cli {

// What `qdlctl check` is told: thresholds on the response time, in the monitoring-plugins range
// syntax, and the states the outlets should show ("1=on,2=off").
struct CheckRequest {
    std::string Warning;
    std::string Critical;
    std::string Expect;
};

enum PluginStatus { PluginOk = 0, PluginWarning = 1, PluginCritical = 2, PluginUnknown = 3 };

// Checks the request's wording; a UsageError before anything is sent.
void RequireValidCheck(const CheckRequest& request);

// One GetPower, judged: prints the one line the monitoring-plugins guidelines ask for,
// "QDL4816 <STATUS> - <what it found> | <performance data>", and returns the status. A switch that
// cannot be read is CRITICAL, with the reason.
int RunCheck(const control::SwitchTarget& target, const CheckRequest& request, std::ostream& out);

// The line and status for what kept the check from being made: UNKNOWN for the caller's own
// mistakes (arguments, settings), CRITICAL for the switch.
int ReportCheckFailure(const std::exception& failure, std::ostream& out);

// A stop request (SIGTERM from the engine, Ctrl-C) ends the check with an UNKNOWN line on standard
// output and exit 3, as the engines read a plugin.
void SetCheckStopLine(const std::optional<control::SwitchTarget>& target);

// `status`, or UNKNOWN when the line could not be written: a result nobody can read is no OK.
int Delivered(std::ostream& out, int status);

} // namespace qdl::cli
