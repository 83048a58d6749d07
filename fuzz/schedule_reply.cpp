// Decoding a GetSchedule reply body: every field either decodes to a value in range or fails
// with a message; nothing else escapes.
#include "CommaText.h"
#include "FormatSettings.h"
#include "FuzzCheck.h"
#include "ScheduleReply.h"

#include <cstdint>
#include <functional>
#include <stdexcept>

namespace {

void ExpectValueOrMessage(const std::function<void()>& decode) {
    try {
        decode();
    } catch (const std::runtime_error& failure) {
        FUZZ_CHECK(failure.what()[0] != '\0');
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool configured = [] {
        qdl::ProcessFormatSettings().DateSeparator = '-';
        qdl::ProcessFormatSettings().TimeSeparator = ':';
        qdl::ProcessFormatSettings().Order = qdl::DateOrder::YearMonthDay;
        return true;
    }();
    (void)configured;
    qdl::ReplyList reply;
    qdl::SplitCommaText(reply, std::string(reinterpret_cast<const char*>(data), size));
    qdl::StripHtmlReply(reply);
    ExpectValueOrMessage([&] { qdl::ScheduleDate(reply); });
    ExpectValueOrMessage([&] { qdl::ScheduleTime(reply); });
    ExpectValueOrMessage([&] {
        const int index = qdl::ScheduleRepeatIndex(reply);
        FUZZ_CHECK(index >= 0 && index <= 4);
    });
    ExpectValueOrMessage([&] { qdl::ScheduleOnOffDigit(reply); });
    return 0;
}
