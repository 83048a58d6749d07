#include "ScheduleReply.h"
#include "FailureOf.h"

#include <gtest/gtest.h>

#include <functional>

namespace qdl {
namespace {

using test::FailureOf;

class ScheduleReplyTest : public testing::Test {
protected:
    void SetUp() override {
        saved_ = ProcessFormatSettings();
        ProcessFormatSettings().DateSeparator = '-';
        ProcessFormatSettings().TimeSeparator = ':';
        ProcessFormatSettings().Order = DateOrder::DayMonthYear;
    }
    void TearDown() override { ProcessFormatSettings() = saved_; }

private:
    FormatSettings saved_;
};

struct FieldCase {
    const char* Name;
    std::string TimeItem;
    Time ExpectedTime;
    int RepeatIndex;
    int OnOff;
    friend void PrintTo(const FieldCase& row, std::ostream* out) { *out << row.Name; }
};

class ScheduleFieldsTest : public ScheduleReplyTest, public testing::WithParamInterface<FieldCase> {};

TEST_P(ScheduleFieldsTest, DecodesItemOne) {
    const ReplyList reply{"2006-11-27", GetParam().TimeItem};
    EXPECT_EQ(ScheduleDate(reply), (Date{2006, 11, 27})) << "a year-first date reads under any locale order";
    EXPECT_EQ(ScheduleTime(reply), GetParam().ExpectedTime);
    EXPECT_EQ(ScheduleRepeatIndex(reply), GetParam().RepeatIndex);
    EXPECT_EQ(ScheduleOnOffDigit(reply), GetParam().OnOff);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ScheduleFieldsTest,
    testing::Values(FieldCase{"Full", "08:05:05-128-1", {8, 5, 5, 0}, 1, 1},
                    FieldCase{"TimeOnly", "08:05:05", {8, 5, 5, 0}, 0, 0},
                    FieldCase{"Everyday", "23:59:00-127-0", {23, 59, 0, 0}, 2, 0},
                    FieldCase{"WeekdaysHex", "06:00:00-x1F-1", {6, 0, 0, 0}, 3, 1},
                    FieldCase{"WeekendDollar", "06:00:00-$60-1", {6, 0, 0, 0}, 4, 1},
                    FieldCase{"UnknownCode", "06:00:00-003-1", {6, 0, 0, 0}, 0, 1},
                    FieldCase{"DigitTwo", "06:00:00-000-2", {6, 0, 0, 0}, 0, 2},
                    FieldCase{"BeyondFourteenIgnored", "06:00:00-096-1xyz", {6, 0, 0, 0}, 4, 1}),
    [](const testing::TestParamInfo<FieldCase>& info) { return info.param.Name; });

TEST_F(ScheduleReplyTest, FailuresCarryTheConversionMessages) {
    EXPECT_EQ(FailureOf([] { ScheduleDate({"", "08:05:05-128-1"}); }), "'' は日付ではありません");
    EXPECT_EQ(FailureOf([] {
                  ScheduleTime({"2006-11-27", "8h05-128-1"});
              }),
              "'8h05-128' は時刻ではありません");
    EXPECT_EQ(FailureOf([] { ScheduleTime({"2006-11-27"}); }),
              "リストのインデックスが範囲を超えています (1)");
    EXPECT_EQ(FailureOf([] { ScheduleTime({"2006-11-27", ""}); }), "'' は時刻ではありません");
}

} // namespace
} // namespace qdl
