// Reading the outlets for scripts, against a plain second reading of the same rule: a reply counts
// only when it names each of P60 to P63 exactly once (in any case) with 0 or 1, and then shows
// exactly those states; anything else fails as a protocol failure with a short, printable message.
#include "CommaText.h"
#include "Failures.h"
#include "FuzzCheck.h"
#include "Outlets.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>

namespace {

std::optional<qdl::control::OutletStates> Reference(const qdl::ReplyList& reply) {
    qdl::control::OutletStates states{};
    for (int outlet = 0; outlet < 4; ++outlet) {
        const std::string name = "p6" + std::to_string(outlet);
        int found = 0;
        std::string value;
        for (const std::string& item : reply) {
            const auto equals = item.find('=');
            if (equals == std::string::npos || equals != name.size())
                continue;
            std::string lower = item.substr(0, equals);
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (lower == name) {
                ++found;
                value = item.substr(equals + 1);
            }
        }
        if (found != 1 || (value != "0" && value != "1"))
            return std::nullopt;
        states[static_cast<std::size_t>(outlet)] = value == "1";
    }
    return states;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qdl::ReplyList reply;
    qdl::SplitCommaText(reply, std::string(reinterpret_cast<const char*>(data), size));
    qdl::StripHtmlReply(reply);
    const auto expected = Reference(reply);
    try {
        const auto states = qdl::control::OutletsIn(reply, "sw:80");
        FUZZ_CHECK(expected.has_value());
        FUZZ_CHECK(states == *expected);
    } catch (const qdl::control::Failure& failure) {
        FUZZ_CHECK(!expected.has_value());
        FUZZ_CHECK(failure.Kind() == qdl::control::FailureKind::Protocol);
        const std::string message = failure.what();
        FUZZ_CHECK(message.size() < 600);
        FUZZ_CHECK(std::none_of(message.begin(), message.end(),
                                [](char c) { return static_cast<unsigned char>(c) < ' ' || c == 0x7f; }));
    }
    return 0;
}
