#pragma once

#include "Outlets.h"
#include "Schedule.h"

#include <ostream>
#include <string>
#include <vector>

namespace qdl::cli {

// Prints results for people (short aligned tables, one line per change) or, with `json`, as one
// JSON document; errors go to their own stream in the same style.
class Output {
public:
    Output(std::ostream& out, std::ostream& err, bool json) : out_(out), err_(err), json_(json) {}

    void Outlets(const control::OutletStates& states);
    // One line per outlet that was named, as the switch now shows it.
    void Changes(const control::OutletStates& states, const std::vector<int>& outlets);
    void Entries(const std::vector<control::ScheduleEntry>& entries);
    void Text(const std::string& name, const std::string& text);
    // A document printed as it is.
    void Raw(const std::string& text) { out_ << text; }
    void Differences(const std::vector<std::string>& differences);
    void Error(const std::string& message);

private:
    std::ostream& out_;
    std::ostream& err_;
    bool json_;
};

// The export file's document: {"entries": [...]}.
std::string ScheduleDocument(const std::vector<control::ScheduleEntry>& entries);

} // namespace qdl::cli
