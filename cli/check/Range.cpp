#include "Range.h"

#include "Failures.h"
#include "TextUtil.h"

#include <cmath>
#include <stdexcept>

namespace qdl::cli {
namespace {

// Only the number itself: the text goes into the performance data as it stands, where a blank
// would break the line apart.
bool ReadNumber(const std::string& text, double& number) {
    if (text.empty() || static_cast<unsigned char>(text[0]) <= ' ')
        return false;
    try {
        std::size_t used = 0;
        number = std::stod(text, &used);
        return used == text.size() && std::isfinite(number) &&
               text.find_first_of("xXpP") == std::string::npos;
    } catch (const std::logic_error&) {
        return false;
    }
}

} // namespace

Range Range::Parse(const std::string& text, const char* option) {
    Range range;
    range.text_ = text;
    std::string rest = text;
    if (!rest.empty() && rest[0] == '@') {
        range.inside_ = true;
        rest.erase(0, 1);
    }
    const auto colon = rest.find(':');
    const std::string low = colon == std::string::npos ? std::string("0") : rest.substr(0, colon);
    const std::string high = colon == std::string::npos ? rest : rest.substr(colon + 1);
    bool valid = !rest.empty();
    if (low == "~")
        range.lowUnbounded_ = true;
    else
        valid = valid && ReadNumber(low.empty() ? std::string("0") : low, range.low_);
    if (high.empty() && colon != std::string::npos)
        range.highUnbounded_ = true;
    else
        valid = valid && ReadNumber(high, range.high_);
    if (valid && !range.lowUnbounded_ && !range.highUnbounded_ && range.low_ > range.high_)
        valid = false;
    if (!valid)
        throw control::UsageError(Format(
            "%s '%s' is no range: write 10, 10:, ~:10, 10:20 or @10:20 (seconds).", option, text.c_str()));
    return range;
}

bool Range::Alerts(double value) const {
    const bool within = (lowUnbounded_ || value >= low_) && (highUnbounded_ || value <= high_);
    return inside_ ? within : !within;
}

} // namespace qdl::cli
