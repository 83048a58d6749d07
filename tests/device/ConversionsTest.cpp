#include "Conversions.h"
#include "FailureOf.h"
#include "RepeatCode.h"

#include <gtest/gtest.h>

#include <optional>

namespace qdl {
namespace {

struct IntCase {
    const char* Name;
    std::string Text;
    std::int32_t Value;
    friend void PrintTo(const IntCase& row, std::ostream* out) { *out << row.Name; }
};

class StrToIntDefTest : public testing::TestWithParam<IntCase> {};

TEST_P(StrToIntDefTest, ReadsOrFallsBack) {
    EXPECT_EQ(StrToIntDef(GetParam().Text, 80), GetParam().Value);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StrToIntDefTest,
    testing::Values(IntCase{"Decimal", "8080", 8080}, IntCase{"LeadingBlanks", "  443", 443},
                    IntCase{"TrailingBlank", "443 ", 80}, IntCase{"LeadingTab", "\t443", 80},
                    IntCase{"Plus", "+21", 21}, IntCase{"Minus", "-1", -1}, IntCase{"Dollar", "$60", 96},
                    IntCase{"LowerX", "x1F", 31}, IntCase{"UpperX", "X1f", 31}, IntCase{"ZeroX", "0x80", 128},
                    IntCase{"ZeroUpperX", "0X7F", 127}, IntCase{"NegativeHex", "-$10", -16},
                    IntCase{"Letters", "abc", 80}, IntCase{"Empty", "", 80}, IntCase{"SignOnly", "-", 80},
                    IntCase{"PrefixOnly", "$", 80}, IntCase{"Max", "2147483647", 2147483647},
                    IntCase{"Min", "-2147483648", INT32_MIN}, IntCase{"TooBig", "2147483648", 80},
                    IntCase{"HexTooBig", "$80000000", 80}, IntCase{"LeadingZeros", "031", 31},
                    IntCase{"InnerBlank", "1 2", 80}),
    [](const testing::TestParamInfo<IntCase>& info) { return info.param.Name; });

struct DateCase {
    const char* Name;
    DateOrder Order;
    std::string Text;
    std::optional<Date> Expected;
    friend void PrintTo(const DateCase& row, std::ostream* out) { *out << row.Name; }
};

class DateConversionTest : public testing::TestWithParam<DateCase> {};

TEST_P(DateConversionTest, ReadsTheDateInThatOrder) {
    FormatSettings settings;
    settings.DateSeparator = '-';
    settings.Order = GetParam().Order;
    EXPECT_EQ(TryStrToDate(GetParam().Text, settings, 2026), GetParam().Expected);
}

constexpr auto YMD = DateOrder::YearMonthDay;
constexpr auto MDY = DateOrder::MonthDayYear;
constexpr auto DMY = DateOrder::DayMonthYear;

INSTANTIATE_TEST_SUITE_P(
    Rows, DateConversionTest,
    testing::Values(DateCase{"YearFirst", YMD, "2006-11-27", Date{2006, 11, 27}},
                    DateCase{"MonthFirst", MDY, "11-27-2006", Date{2006, 11, 27}},
                    DateCase{"DayFirst", DMY, "27-11-2006", Date{2006, 11, 27}},
                    DateCase{"FourDigitYearFirstUnderMonthOrder", MDY, "2006-11-27", Date{2006, 11, 27}},
                    DateCase{"FourDigitYearFirstUnderDayOrder", DMY, "2006-11-27", Date{2006, 11, 27}},
                    DateCase{"SmallFirstNumberKeepsLocaleOrder", DMY, "0012-11-2006", Date{2006, 11, 12}},
                    DateCase{"ThreeDigitFirstKeepsLocaleOrder", MDY, "200-11-27", std::nullopt},
                    DateCase{"TwoDigitYearPast", YMD, "05-1-2", Date{2005, 1, 2}},
                    DateCase{"TwoDigitYearFuture", YMD, "75-1-2", Date{2075, 1, 2}},
                    DateCase{"TwoDigitYearWindowStart", YMD, "80-1-2", Date{1980, 1, 2}},
                    DateCase{"ThreeDigitYearNotWindowed", YMD, "005-1-2", Date{5, 1, 2}},
                    DateCase{"TwoNumbersAreMonthDay", YMD, "3-5", Date{2026, 3, 5}},
                    DateCase{"TwoNumbersDayFirst", DMY, "3-5", Date{2026, 5, 3}},
                    DateCase{"TwoNumbersThenSeparator", YMD, "3-5-", std::nullopt},
                    DateCase{"TrailingSeparator", YMD, "2006-11-27-", Date{2006, 11, 27}},
                    DateCase{"Blanks", YMD, " 2006 - 11 -27  ", Date{2006, 11, 27}},
                    DateCase{"TabIsNoBlank", YMD, "\t2006-11-27", std::nullopt},
                    DateCase{"LeapDay", YMD, "2024-02-29", Date{2024, 2, 29}},
                    DateCase{"NoLeapDay", YMD, "2023-02-29", std::nullopt},
                    DateCase{"MonthThirteen", YMD, "2006-13-01", std::nullopt},
                    DateCase{"YearZero", YMD, "0000-01-01", std::nullopt},
                    DateCase{"FiveDigits", YMD, "20061-11-27", std::nullopt},
                    DateCase{"OtherSeparator", YMD, "2006/11/27", std::nullopt},
                    DateCase{"TrailingText", YMD, "2006-11-27x", std::nullopt},
                    DateCase{"Empty", YMD, "", std::nullopt}),
    [](const testing::TestParamInfo<DateCase>& info) { return info.param.Name; });

struct TimeCase {
    const char* Name;
    std::string Text;
    std::optional<Time> Expected;
    friend void PrintTo(const TimeCase& row, std::ostream* out) { *out << row.Name; }
};

class TimeConversionTest : public testing::TestWithParam<TimeCase> {};

TEST_P(TimeConversionTest, ReadsTheTime) {
    FormatSettings settings;
    settings.TimeSeparator = ':';
    settings.DecimalSeparator = '.';
    settings.TimeAMString = "午前";
    settings.TimePMString = "午後";
    EXPECT_EQ(TryStrToTime(GetParam().Text, settings), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, TimeConversionTest,
                         testing::Values(TimeCase{"Full", "08:05:05", Time{8, 5, 5, 0}},
                                         TimeCase{"HourOnly", "7", Time{7, 0, 0, 0}},
                                         TimeCase{"HourMinute", "15:30", Time{15, 30, 0, 0}},
                                         TimeCase{"Milliseconds", "15:30:00.250", Time{15, 30, 0, 250}},
                                         TimeCase{"PmAfter", "3:04:05 pm", Time{15, 4, 5, 0}},
                                         TimeCase{"AmBefore", "AM 12:00:00", Time{0, 0, 0, 0}},
                                         TimeCase{"LocaleMarker", "午後1:00", Time{13, 0, 0, 0}},
                                         TimeCase{"MarkerHourZero", "0:00 PM", std::nullopt},
                                         TimeCase{"MarkerHourThirteen", "13:00 PM", std::nullopt},
                                         TimeCase{"Hour24", "24:00:00", std::nullopt},
                                         TimeCase{"Minute60", "10:60:00", std::nullopt},
                                         TimeCase{"Second60", "10:00:60", std::nullopt},
                                         TimeCase{"Empty", "", std::nullopt},
                                         TimeCase{"Trailing", "08:05:05-128", std::nullopt},
                                         TimeCase{"MissingMinutes", "08:", std::nullopt}),
                         [](const testing::TestParamInfo<TimeCase>& info) { return info.param.Name; });

TEST(ConversionFailureTest, MessagesQuoteTheWholeText) {
    ProcessFormatSettings().DateSeparator = '-';
    ProcessFormatSettings().TimeSeparator = ':';
    EXPECT_EQ(test::FailureOf([] { StrToDate("2006/11/27"); }), "'2006/11/27' は日付ではありません");
    EXPECT_EQ(test::FailureOf([] { StrToTime("8.05"); }), "'8.05' は時刻ではありません");
}

struct OrderCase {
    const char* Format;
    DateOrder Order;
};

class DateOrderOfFormatTest : public testing::TestWithParam<OrderCase> {};

TEST_P(DateOrderOfFormatTest, FirstFieldLetterDecides) {
    EXPECT_EQ(DateOrderOfFormat(GetParam().Format), GetParam().Order);
}

INSTANTIATE_TEST_SUITE_P(Rows, DateOrderOfFormatTest,
                         testing::Values(OrderCase{"yyyy/MM/dd", YMD}, OrderCase{"M/d/yyyy", MDY},
                                         OrderCase{"dd.MM.yyyy", DMY}, OrderCase{"gg ee/MM/dd", YMD},
                                         OrderCase{"", MDY}, OrderCase{"/-.", MDY}));

TEST(DateOrderOfFormatTest, ReadsTheLocalesStrftimeFormat) {
    const std::pair<std::string, std::string> rows[] = {
        {"%m/%d/%y", "MDY"}, {"%d.%m.%Y", "DMY"}, {"%Y\xe5\xb9\xb4%m\xe6\x9c\x88%d\xe6\x97\xa5", "YMD"},
        {"%F", "Y"},         {"%D", "M"},         {"%EC%Ey/%m/%d", "EEMD"},
        {"%e %b %Y", "DMY"}, {"100%% %d", "D"},   {"", ""},
    };
    for (const auto& [format, letters] : rows)
        EXPECT_EQ(FieldLettersOf(format), letters) << format;
    EXPECT_EQ(DateOrderOfFormat(FieldLettersOf("%d/%m/%Y")), DMY);
}

TEST(RepeatCodeTest, MapsEveryCodeBothWays) {
    const std::pair<int, std::string> table[] = {
        {0, "000"}, {128, "128"}, {127, "127"}, {31, "031"}, {96, "096"}};
    for (int index = 0; index < RepeatModeCount; ++index) {
        EXPECT_EQ(RepeatCodeText(index), table[index].second);
        EXPECT_EQ(RepeatCodeIndex(table[index].first), index);
    }
    EXPECT_EQ(RepeatCodeIndex(3), 0);
    EXPECT_EQ(RepeatCodeIndex(255), 0);
    EXPECT_EQ(RepeatCodeText(-1), "000");
    EXPECT_EQ(RepeatCodeText(5), "000");
}

} // namespace
} // namespace qdl
