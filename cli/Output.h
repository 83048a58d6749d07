#pragma once

#include "Outlets.h"
#include "Schedule.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace qdl::cli {

// Prints results for people (short aligned tables, one line per change) or, with `json`, as one
// JSON document; failures go to their own stream in the same style.
class Output {
public:
    Output(std::ostream& out, std::ostream& err, bool json) : out_(out), err_(err), json_(json) {}

    bool Json() const { return json_; }

    void Outlets(const control::OutletStates& states);
    // One line per outlet that was named, as the switch now shows it.
    void Changes(const control::OutletStates& states, const std::vector<int>& outlets);
    void Entries(const std::vector<control::ScheduleEntry>& entries);
    void Text(const std::string& name, const std::string& text);
    void Import(const control::ImportResult& result);
    // A document printed as it is.
    void Raw(const std::string& text) { out_ << text; }

    // {"error": {"kind", "message", "host", "port"}} with --json; else the message alone.
    void Failure(const control::Failure& failure, const std::optional<control::SwitchTarget>& target);
    // A line of its own on the failure stream, in the same style.
    std::string FailureLine(control::FailureKind kind, const std::string& message,
                            const std::optional<control::SwitchTarget>& target) const;

    // Whether everything printed reached its place; the reason when it did not.
    std::optional<std::string> Flush();

private:
    std::ostream& out_;
    std::ostream& err_;
    bool json_;
};

// The export file's document: {"entries": [...]}.
std::string ScheduleDocument(const std::vector<control::ScheduleEntry>& entries);

} // namespace qdl::cli
