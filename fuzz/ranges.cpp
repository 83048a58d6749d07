// Monitoring ranges, against the guidelines' grammar read a second way: a range is accepted
// exactly when it is [@](number | number: | ~:number | number:number | :number) with low <= high,
// every number one decimal; an accepted range alerts on its own bounds as the guidelines say.
#include "Failures.h"
#include "FuzzCheck.h"
#include "Range.h"

#include <cmath>
#include <cstdint>
#include <regex>

namespace {

const std::regex Number(R"([+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?)");

bool IsNumber(const std::string& text, double& value) {
    if (!std::regex_match(text, Number))
        return false;
    value = std::strtod(text.c_str(), nullptr);
    return std::isfinite(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 200)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string rest = text.substr(!text.empty() && text[0] == '@' ? 1 : 0);
    const bool inside = rest.size() != text.size();
    const auto colon = rest.find(':');
    double low = 0, high = 0;
    bool valid = !rest.empty();
    const std::string lowText = colon == std::string::npos ? "0" : rest.substr(0, colon);
    const std::string highText = colon == std::string::npos ? rest : rest.substr(colon + 1);
    const bool lowOpen = lowText == "~", highOpen = colon != std::string::npos && highText.empty();
    valid = valid && (lowOpen || IsNumber(lowText.empty() ? "0" : lowText, low));
    valid = valid && (highOpen || IsNumber(highText, high));
    valid = valid && (lowOpen || highOpen || low <= high);
    try {
        const qdl::cli::Range range = qdl::cli::Range::Parse(text, "-w");
        FUZZ_CHECK(valid);
        FUZZ_CHECK(range.Text() == text);
        if (!lowOpen)
            FUZZ_CHECK(range.Alerts(low) == inside);
        if (!highOpen)
            FUZZ_CHECK(range.Alerts(high) == inside);
    } catch (const qdl::control::UsageError& failure) {
        FUZZ_CHECK(!valid);
        FUZZ_CHECK(std::string(failure.what()).find("is no range") != std::string::npos);
    }
    return 0;
}
