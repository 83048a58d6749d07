#pragma once

#include "FormatSettings.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qdl {

struct Date {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    bool operator==(const Date& other) const {
        return Year == other.Year && Month == other.Month && Day == other.Day;
    }
};

struct Time {
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
    bool operator==(const Time& other) const {
        return Hour == other.Hour && Minute == other.Minute && Second == other.Second &&
               Millisecond == other.Millisecond;
    }
};

// Decimal, or hexadecimal after "$", "x", "X", "0x" or "0X"; leading spaces and one sign allowed,
// nothing after the digits, 32-bit signed range. StrToIntDef gives `fallback` for anything else.
std::optional<std::int32_t> TryStrToInt(const std::string& text);
std::int32_t StrToIntDef(const std::string& text, std::int32_t fallback);

// A day of the calendar in the years 1 to 9999.
bool IsValidDate(int year, int month, int day);

std::optional<Date> TryStrToDate(const std::string& text, const FormatSettings& settings, int currentYear);
std::optional<Time> TryStrToTime(const std::string& text, const FormatSettings& settings);

// As the Try forms with the process's settings, failing with the conversion's message.
Date StrToDate(const std::string& text);
Time StrToTime(const std::string& text);

} // namespace qdl
