#include "Range.h"

#include "Failures.h"
#include "TextUtil.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace qdl::cli {
namespace {

// One rule for every number: a decimal with an optional sign, fraction and exponent, nothing
// around it (the text goes into the performance data as it stands, where a blank would break the
// line apart). A number too large for a double is refused; one too small to tell from zero is zero.
bool ReadNumber(const std::string& text, double& number) {
    std::size_t at = 0;
    const auto digits = [&] {
        const std::size_t start = at;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])))
            ++at;
        return at - start;
    };
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        ++at;
    std::size_t mantissa = digits();
    if (at < text.size() && text[at] == '.') {
        ++at;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-'))
            ++at;
        if (digits() == 0)
            return false;
    }
    if (at != text.size())
        return false;
    number = std::strtod(text.c_str(), nullptr);
    return std::isfinite(number);
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
