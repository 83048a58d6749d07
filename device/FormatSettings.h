#pragma once

#include <string>

namespace qdl {

// Which of the three numbers of a date text is the year, the month and the day.
enum class DateOrder { MonthDayYear, DayMonthYear, YearMonthDay };

// What the date and time conversions read: separators, field order, AM/PM markers.
struct FormatSettings {
    char DateSeparator = '/';
    char TimeSeparator = ':';
    char DecimalSeparator = '.';
    DateOrder Order = DateOrder::MonthDayYear;
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
};

// The order a short date format names its fields in: the first of D, Y (or E) and M decides.
DateOrder DateOrderOfFormat(const std::string& shortDateFormat);

// A locale's strftime date format (such as "%d.%m.%Y") spelled with field letters ("DMY");
// an era-based year ("%Ey", "%EC") becomes "E".
std::string FieldLettersOf(const std::string& strftimeFormat);

// The settings of the user's locale.
FormatSettings LocaleFormatSettings();

// The settings every conversion of the process uses unless it is given others. Filled from
// the locale on first use; the window sets its separators at start-up.
FormatSettings& ProcessFormatSettings();

} // namespace qdl
