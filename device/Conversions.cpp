#include "Conversions.h"

#include "Locale.h"
#include "TextUtil.h"

#include <ctime>
#include <limits>
#include <stdexcept>

namespace qdl {
namespace {

constexpr int TwoDigitYearCenturyWindow = 50;

// Walks a text the way the date and time scanners read it: spaces are skipped before every
// token, numbers hold at most four significant digits.
class Scanner {
public:
    explicit Scanner(const std::string& text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }

    void SkipBlanks() {
        while (!AtEnd() && text_[pos_] == ' ')
            ++pos_;
    }

    bool Char(char expected) {
        SkipBlanks();
        if (AtEnd() || text_[pos_] != expected)
            return false;
        ++pos_;
        return true;
    }

    bool Word(const std::string& word) {
        SkipBlanks();
        if (word.empty() || !EqualsIgnoringCase(text_.substr(pos_, word.size()), word))
            return false;
        pos_ += word.size();
        return true;
    }

    // An unsigned number; `digits` tells how many characters it was written with.
    bool Number(int& value, std::size_t& digits) {
        SkipBlanks();
        const std::size_t start = pos_;
        value = 0;
        while (!AtEnd() && IsDigit(text_[pos_]) && value < 1000)
            value = value * 10 + (text_[pos_++] - '0');
        digits = pos_ - start;
        return digits > 0;
    }

    bool Number(int& value) {
        std::size_t digits = 0;
        return Number(value, digits);
    }

private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

    const std::string& text_;
    std::size_t pos_ = 0;
};

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

std::optional<Date> ValidDate(int year, int month, int day) {
    if (!IsValidDate(year, month, day))
        return std::nullopt;
    return Date{year, month, day};
}

int WindowedYear(int year, int currentYear) {
    const int centuryBase = currentYear - TwoDigitYearCenturyWindow;
    year += centuryBase / 100 * 100;
    if (year < centuryBase)
        year += 100;
    return year;
}

int CurrentYear() {
    return platform::CurrentLocalYear();
}

} // namespace

bool IsValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

std::optional<std::int32_t> TryStrToInt(const std::string& text) {
    std::size_t pos = text.find_first_not_of(' ');
    if (pos == std::string::npos)
        return std::nullopt;
    bool negative = false;
    if (text[pos] == '+' || text[pos] == '-')
        negative = text[pos++] == '-';
    int base = 10;
    if (pos < text.size() && (text[pos] == '$' || text[pos] == 'x' || text[pos] == 'X')) {
        base = 16;
        ++pos;
    } else if (text.compare(pos, 2, "0x") == 0 || text.compare(pos, 2, "0X") == 0) {
        base = 16;
        pos += 2;
    }
    if (pos >= text.size())
        return std::nullopt;
    const std::int64_t limit = negative ? std::int64_t{1} << 31 : (std::int64_t{1} << 31) - 1;
    std::int64_t value = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = HexDigitValue(text[pos]);
        if (digit < 0 || digit >= base)
            return std::nullopt;
        value = value * base + digit;
        if (value > limit)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::int32_t StrToIntDef(const std::string& text, std::int32_t fallback) {
    return TryStrToInt(text).value_or(fallback);
}

std::optional<Date> TryStrToDate(const std::string& text, const FormatSettings& settings, int currentYear) {
    Scanner scan(text);
    int n1 = 0, n2 = 0, n3 = 0;
    std::size_t digits1 = 0, digits2 = 0, digits3 = 0;
    if (!(scan.Number(n1, digits1) && scan.Char(settings.DateSeparator) && scan.Number(n2, digits2)))
        return std::nullopt;
    int year = currentYear, month = 0, day = 0;
    if (scan.Char(settings.DateSeparator)) {
        if (!scan.Number(n3, digits3))
            return std::nullopt;
        // A four-digit first number above 31 can only be a year, whatever the locale's order says.
        DateOrder order = digits1 == 4 && n1 > 31 ? DateOrder::YearMonthDay : settings.Order;
        std::size_t yearDigits = digits3;
        switch (order) {
        case DateOrder::MonthDayYear:
            year = n3, month = n1, day = n2;
            break;
        case DateOrder::DayMonthYear:
            year = n3, month = n2, day = n1;
            break;
        case DateOrder::YearMonthDay:
            year = n1, month = n2, day = n3, yearDigits = digits1;
            break;
        }
        if (yearDigits <= 2)
            year = WindowedYear(year, currentYear);
        scan.Char(settings.DateSeparator);
    } else if (settings.Order == DateOrder::DayMonthYear) {
        day = n1, month = n2;
    } else {
        month = n1, day = n2;
    }
    scan.SkipBlanks();
    if (!scan.AtEnd())
        return std::nullopt;
    return ValidDate(year, month, day);
}

std::optional<Time> TryStrToTime(const std::string& text, const FormatSettings& settings) {
    Scanner scan(text);
    auto scanMarker = [&]() -> int {
        if (scan.Word(settings.TimeAMString) || scan.Word("AM"))
            return 0;
        if (scan.Word(settings.TimePMString) || scan.Word("PM"))
            return 12;
        return -1;
    };
    int baseHour = scanMarker();
    Time time;
    if (!scan.Number(time.Hour))
        return std::nullopt;
    if (scan.Char(settings.TimeSeparator)) {
        if (!scan.Number(time.Minute))
            return std::nullopt;
        if (scan.Char(settings.TimeSeparator)) {
            if (!scan.Number(time.Second))
                return std::nullopt;
            if (scan.Char(settings.DecimalSeparator) && !scan.Number(time.Millisecond))
                return std::nullopt;
        }
    }
    if (baseHour < 0)
        baseHour = scanMarker();
    if (baseHour >= 0) {
        if (time.Hour == 0 || time.Hour > 12)
            return std::nullopt;
        time.Hour = time.Hour % 12 + baseHour;
    }
    scan.SkipBlanks();
    if (!scan.AtEnd() || time.Hour > 23 || time.Minute > 59 || time.Second > 59 || time.Millisecond > 999)
        return std::nullopt;
    return time;
}

Date StrToDate(const std::string& text) {
    if (auto date = TryStrToDate(text, ProcessFormatSettings(), CurrentYear()))
        return *date;
    throw std::runtime_error(Format("'%s' は日付ではありません", text.c_str()));
}

Time StrToTime(const std::string& text) {
    if (auto time = TryStrToTime(text, ProcessFormatSettings()))
        return *time;
    throw std::runtime_error(Format("'%s' は時刻ではありません", text.c_str()));
}

} // namespace qdl
