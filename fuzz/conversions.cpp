// The integer, date and time conversions: no input crashes them, what they accept is a real
// value, and a date written back in the same order reads as the same date.
#include "Conversions.h"
#include "FuzzCheck.h"

#include <cstdint>
#include <stdexcept>

namespace {

std::string Written(const qdl::Date& date, qdl::DateOrder order) {
    const std::string y = std::to_string(date.Year), m = std::to_string(date.Month),
                      d = std::to_string(date.Day);
    switch (order) {
    case qdl::DateOrder::DayMonthYear:
        return d + "-" + m + "-" + y;
    case qdl::DateOrder::YearMonthDay:
        return y + "-" + m + "-" + d;
    default:
        return m + "-" + d + "-" + y;
    }
}

void CheckDate(const std::string& text, qdl::DateOrder order) {
    qdl::FormatSettings settings;
    settings.DateSeparator = '-';
    settings.Order = order;
    const auto date = qdl::TryStrToDate(text, settings, 2026);
    if (!date)
        return;
    FUZZ_CHECK(qdl::IsValidDate(date->Year, date->Month, date->Day));
    // Years below 100 would be read as two-digit years of the current century window.
    if (date->Year >= 100)
        FUZZ_CHECK(qdl::TryStrToDate(Written(*date, order), settings, 2026) == date);
}

void CheckTime(const std::string& text) {
    qdl::FormatSettings settings;
    settings.TimeSeparator = ':';
    const auto time = qdl::TryStrToTime(text, settings);
    if (!time)
        return;
    FUZZ_CHECK(time->Hour >= 0 && time->Hour <= 23);
    FUZZ_CHECK(time->Minute >= 0 && time->Minute <= 59);
    FUZZ_CHECK(time->Second >= 0 && time->Second <= 59);
    FUZZ_CHECK(time->Millisecond >= 0 && time->Millisecond <= 999);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto number = qdl::TryStrToInt(text);
    FUZZ_CHECK(qdl::StrToIntDef(text, -7) == (number ? *number : -7));
    if (number)
        FUZZ_CHECK(qdl::TryStrToInt(std::to_string(*number)) == number);
    for (const auto order :
         {qdl::DateOrder::MonthDayYear, qdl::DateOrder::DayMonthYear, qdl::DateOrder::YearMonthDay})
        CheckDate(text, order);
    CheckTime(text);
    try {
        qdl::StrToTime(text);
    } catch (const std::runtime_error& failure) {
        FUZZ_CHECK(failure.what()[0] != '\0');
    }
    return 0;
}
