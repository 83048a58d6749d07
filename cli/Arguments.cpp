#include "Arguments.h"

#include "TextUtil.h"

#include <algorithm>
#include <cmath>

namespace qdl::cli {
namespace {

using control::UsageError;

int OutletNumber(const std::string& word) {
    if (word.size() == 1 && word[0] >= '1' && word[0] <= '4')
        return word[0] - '0';
    throw UsageError(Format("'%s' is not an outlet: the outlets are 1 to 4%s.", word.c_str(),
                            word == "all" ? " (for all four: qdlctl all on|off)" : ""));
}

void RequireOnce(std::vector<int>& outlets, int outlet) {
    if (std::find(outlets.begin(), outlets.end(), outlet) != outlets.end())
        throw UsageError(Format("Outlet %d is named twice: name each outlet once.", outlet));
    outlets.push_back(outlet);
}

} // namespace

std::vector<int> ParseOutlets(const std::vector<std::string>& words, const std::string& command) {
    if (words.empty())
        throw UsageError(Format("%s needs the outlets to switch, 1 to 4, as in: qdlctl %s 2", command.c_str(),
                                command.c_str()));
    std::vector<int> outlets;
    for (const auto& word : words)
        RequireOnce(outlets, OutletNumber(word));
    return outlets;
}

control::OutletChanges ParseSettings(const std::vector<std::string>& words, std::vector<int>& outlets) {
    if (words.empty())
        throw UsageError("set needs outlet settings, as in: qdlctl set 1=on 3=off");
    control::OutletChanges changes;
    outlets.clear();
    for (const auto& word : words) {
        const auto equals = word.find('=');
        const std::string state = equals == std::string::npos ? std::string() : word.substr(equals + 1);
        if (equals != 1 || (state != "on" && state != "off"))
            throw UsageError(Format(
                "'%s' is not an outlet setting: write OUTLET=on or OUTLET=off, as in 2=on.", word.c_str()));
        const int outlet = OutletNumber(word.substr(0, 1));
        RequireOnce(outlets, outlet);
        changes[outlet] = state == "on";
    }
    return changes;
}

std::optional<std::chrono::milliseconds> SecondsIn(const std::string& text, double most) {
    try {
        std::size_t used = 0;
        const double seconds = std::stod(text, &used);
        if (used == text.size() && std::isfinite(seconds) && seconds >= 0 && seconds <= most)
            return std::chrono::round<std::chrono::milliseconds>(std::chrono::duration<double>(seconds));
    } catch (const std::logic_error&) {
    }
    return std::nullopt;
}

std::chrono::milliseconds ParseSeconds(const std::string& text, const std::string& option, double most) {
    if (const auto seconds = SecondsIn(text, most))
        return *seconds;
    throw UsageError(
        Format("%s '%s' is not a number of seconds from 0 to %g.", option.c_str(), text.c_str(), most));
}

} // namespace qdl::cli
