#pragma once

#include <chrono>
#include <cstdint>

namespace qdl::standin {

// A wall-clock moment of the switch's own clock, to the second.
struct CivilTime {
    int Year = 2006;
    int Month = 11;
    int Day = 27;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
};

// Days since 1970-01-01 of a (proleptic Gregorian) date.
std::int64_t DaysFromCivil(int year, int month, int day);

// Seconds since 1970-01-01 00:00:00 of the wall-clock moment, counted as if it were UTC.
std::int64_t SecondsOf(const CivilTime& time);
CivilTime CivilTimeOf(std::int64_t seconds);

// 0 for Monday ... 6 for Sunday.
int WeekdayOf(std::int64_t days);

// The local time of the machine.
CivilTime LocalNow();

} // namespace qdl::standin
