#include "CivilTime.h"

#include <ctime>

namespace qdl::standin {

// Howard Hinnant's days_from_civil and civil_from_days.
std::int64_t DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = static_cast<int>(year - era * 400);
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::int64_t SecondsOf(const CivilTime& time) {
    return DaysFromCivil(time.Year, time.Month, time.Day) * 86400 + time.Hour * 3600 + time.Minute * 60 +
           time.Second;
}

CivilTime CivilTimeOf(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int dayOfEra = static_cast<int>(days - era * 146097);
    const int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int monthIndex = (5 * dayOfYear + 2) / 153;
    CivilTime time;
    time.Day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    time.Month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    time.Year = static_cast<int>(yearOfEra + era * 400 + (time.Month <= 2));
    time.Hour = static_cast<int>(rest / 3600);
    time.Minute = static_cast<int>(rest / 60 % 60);
    time.Second = static_cast<int>(rest % 60);
    return time;
}

int WeekdayOf(std::int64_t days) {
    // 1970-01-01 was a Thursday.
    return static_cast<int>(((days % 7) + 7 + 3) % 7);
}

CivilTime LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

} // namespace qdl::standin
