#include "SwitchState.h"
#include "Conversions.h"

#include <gtest/gtest.h>

#include <random>

namespace qdl::standin {
namespace {

const CivilTime Start{2026, 12, 7, 12, 0, 0}; // a Monday

struct CommandCase {
    const char* Name;
    std::string Query;
    std::string Reply;
    friend void PrintTo(const CommandCase& row, std::ostream* out) { *out << row.Name; }
};

class SwitchCommandTest : public testing::TestWithParam<CommandCase> {};

TEST_P(SwitchCommandTest, AnswersTheCommand) {
    SwitchState state(Start);
    state.SetOutlet(2, true);
    EXPECT_EQ(state.Command(GetParam().Query), GetParam().Reply);
}

const std::string NoItems = "<html></html>";

INSTANTIATE_TEST_SUITE_P(
    Rows, SwitchCommandTest,
    testing::Values(
        CommandCase{"GetPower", "CMD=GetPower", "<html>P60=0,P61=1,P62=0,P63=0</html>"},
        CommandCase{"SetPowerAll", "CMD=SetPower+P60=1+P61=0+P62=0+P63=1",
                    "<html>P60=1,P61=0,P62=0,P63=1</html>"},
        CommandCase{"SetPowerSome", "CMD=SetPower+P63=1", "<html>P60=0,P61=1,P62=0,P63=1</html>"},
        CommandCase{"GetScheduleDefault", "CMD=GetSchedule+Power=3B",
                    "<html>2006-11-27,08:05:05-000-0</html>"},
        CommandCase{"SetSchedule",
                    "CMD=SetSchedule+Power=4A+YY=2007+MM=03+DD=05+HH=15+MN=30+SS=00+PARAM=031+ONOFF=1",
                    "<html>2007-03-05,15:30:00-031-1</html>"},
        CommandCase{"NoCommand", "", NoItems}, CommandCase{"UnknownCommand", "CMD=Reboot", NoItems},
        CommandCase{"LowerCaseCommand", "CMD=getpower", NoItems},
        CommandCase{"GetPowerWithFields", "CMD=GetPower+P60=1", NoItems},
        CommandCase{"SetPowerNothing", "CMD=SetPower", NoItems},
        CommandCase{"SetPowerBadValue", "CMD=SetPower+P60=2", NoItems},
        CommandCase{"SetPowerBadName", "CMD=SetPower+P64=1", NoItems},
        CommandCase{"SetPowerTwice", "CMD=SetPower+P60=1+P60=0", NoItems},
        CommandCase{"SetPowerEmptyField", "CMD=SetPower+P60=1++P61=1", NoItems},
        CommandCase{"GetScheduleBadSlot", "CMD=GetSchedule+Power=5A", NoItems},
        CommandCase{"GetScheduleNoSlot", "CMD=GetSchedule", NoItems},
        CommandCase{"SetScheduleMissingField",
                    "CMD=SetSchedule+Power=1A+YY=2007+MM=03+DD=05+HH=15+MN=30+SS=00+PARAM=031", NoItems},
        CommandCase{"SetScheduleBadDate",
                    "CMD=SetSchedule+Power=1A+YY=2007+MM=02+DD=30+HH=15+MN=30+SS=00+PARAM=031+ONOFF=1",
                    NoItems},
        CommandCase{"SetScheduleBadTime",
                    "CMD=SetSchedule+Power=1A+YY=2007+MM=02+DD=03+HH=24+MN=30+SS=00+PARAM=031+ONOFF=1",
                    NoItems},
        CommandCase{"SetScheduleShortYear",
                    "CMD=SetSchedule+Power=1A+YY=07+MM=02+DD=03+HH=12+MN=30+SS=00+PARAM=031+ONOFF=1",
                    NoItems},
        CommandCase{"SetScheduleBadOnOff",
                    "CMD=SetSchedule+Power=1A+YY=2007+MM=02+DD=03+HH=12+MN=30+SS=00+PARAM=031+ONOFF=x",
                    NoItems},
        CommandCase{"SetScheduleHugeParam",
                    "CMD=SetSchedule+Power=1A+YY=2007+MM=02+DD=03+HH=12+MN=30+SS=00+PARAM=999+ONOFF=1",
                    NoItems}),
    [](const testing::TestParamInfo<CommandCase>& info) { return info.param.Name; });

TEST(SwitchCommandTest, MalformedCommandsChangeNothing) {
    SwitchState state(Start);
    state.Command("CMD=SetPower+P60=1+P61=7");
    EXPECT_FALSE(state.Outlet(1));
    state.Command("CMD=SetSchedule+Power=1A+YY=2007+MM=13+DD=05+HH=15+MN=30+SS=00+PARAM=128+ONOFF=1");
    EXPECT_EQ(state.Entry(0).RepeatCode, 0);
}

TEST(SwitchCommandTest, GarbageNeverBreaksIt) {
    SwitchState state(Start);
    const std::string alphabet = "CMD=SetPowerScheduleGt+P6013AB=YMDHNSPARAMONOFF0123456789%&?,\x01\xff ";
    std::mt19937 random(4816);
    for (int round = 0; round < 2000; ++round) {
        std::string query = round % 2 ? "CMD=" : "";
        const auto length = random() % 60;
        for (std::size_t i = 0; i < length; ++i)
            query += alphabet[random() % alphabet.size()];
        const std::string reply = state.Command(query);
        EXPECT_EQ(reply.rfind("<html>", 0), 0u) << query;
    }
}

struct ScheduleCase {
    const char* Name;
    std::string Entry; // the fields after "Power=2B+" (outlet 2)
    CivilTime TickTo;
    bool OutletOn;
    friend void PrintTo(const ScheduleCase& row, std::ostream* out) { *out << row.Name; }
};

class ScheduleRunTest : public testing::TestWithParam<ScheduleCase> {};

TEST_P(ScheduleRunTest, SwitchesTheOutletWhenDue) {
    SwitchState state(Start);
    ASSERT_NE(state.Command("CMD=SetSchedule+Power=2B+" + GetParam().Entry), "<html></html>");
    state.Tick(GetParam().TickTo);
    EXPECT_EQ(state.Outlet(2), GetParam().OutletOn);
    EXPECT_FALSE(state.Outlet(1) || state.Outlet(3) || state.Outlet(4));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ScheduleRunTest,
    testing::Values(ScheduleCase{"OnceAtItsMoment",
                                 "YY=2026+MM=12+DD=07+HH=12+MN=00+SS=30+PARAM=128+ONOFF=1",
                                 {2026, 12, 7, 12, 0, 30},
                                 true},
                    ScheduleCase{"OnceNotYet",
                                 "YY=2026+MM=12+DD=07+HH=12+MN=00+SS=30+PARAM=128+ONOFF=1",
                                 {2026, 12, 7, 12, 0, 29},
                                 false},
                    ScheduleCase{"OnceOtherDay",
                                 "YY=2026+MM=12+DD=08+HH=12+MN=00+SS=30+PARAM=128+ONOFF=1",
                                 {2026, 12, 7, 23, 59, 59},
                                 false},
                    ScheduleCase{"OnceInThePast",
                                 "YY=2026+MM=12+DD=06+HH=12+MN=00+SS=30+PARAM=128+ONOFF=1",
                                 {2026, 12, 7, 23, 59, 59},
                                 false},
                    ScheduleCase{"EverydayNextDay",
                                 "YY=2020+MM=01+DD=01+HH=06+MN=00+SS=00+PARAM=127+ONOFF=1",
                                 {2026, 12, 8, 6, 0, 0},
                                 true},
                    ScheduleCase{"EverydayNotBeforeItsDate",
                                 "YY=2027+MM=01+DD=01+HH=06+MN=00+SS=00+PARAM=127+ONOFF=1",
                                 {2026, 12, 8, 6, 0, 0},
                                 false},
                    ScheduleCase{"WeekdaysOnTuesday",
                                 "YY=2020+MM=01+DD=01+HH=06+MN=00+SS=00+PARAM=031+ONOFF=1",
                                 {2026, 12, 8, 7, 0, 0},
                                 true},
                    ScheduleCase{"WeekdaysSkipSaturday",
                                 "YY=2020+MM=01+DD=01+HH=13+MN=00+SS=00+PARAM=031+ONOFF=1",
                                 {2026, 12, 12, 14, 0, 0},
                                 true},
                    ScheduleCase{"WeekendOnSaturday",
                                 "YY=2020+MM=01+DD=01+HH=06+MN=00+SS=00+PARAM=096+ONOFF=1",
                                 {2026, 12, 12, 7, 0, 0},
                                 true},
                    ScheduleCase{"WeekendNotOnFriday",
                                 "YY=2020+MM=01+DD=01+HH=06+MN=00+SS=00+PARAM=096+ONOFF=1",
                                 {2026, 12, 11, 7, 0, 0},
                                 false},
                    ScheduleCase{"DisableNever",
                                 "YY=2026+MM=12+DD=07+HH=12+MN=00+SS=30+PARAM=000+ONOFF=1",
                                 {2026, 12, 14, 0, 0, 0},
                                 false}),
    [](const testing::TestParamInfo<ScheduleCase>& info) { return info.param.Name; });

TEST(ScheduleRunTest, LaterEntriesWinAndOffEntriesSwitchOff) {
    SwitchState state(Start);
    state.Command("CMD=SetSchedule+Power=1A+YY=2026+MM=12+DD=07+HH=13+MN=00+SS=00+PARAM=128+ONOFF=1");
    state.Command("CMD=SetSchedule+Power=1B+YY=2026+MM=12+DD=07+HH=14+MN=00+SS=00+PARAM=128+ONOFF=0");
    state.Tick({2026, 12, 7, 13, 30, 0});
    EXPECT_TRUE(state.Outlet(1));
    state.Tick({2026, 12, 7, 15, 0, 0});
    EXPECT_FALSE(state.Outlet(1));
    state.SetOutlet(1, true);
    state.Tick({2026, 12, 7, 13, 0, 0}); // the clock set back fires nothing
    state.Tick({2026, 12, 7, 13, 0, 0});
    EXPECT_TRUE(state.Outlet(1));
}

TEST(CivilTimeTest, RoundTripsAndKnowsTheWeekday) {
    const CivilTime moment{2024, 2, 29, 23, 59, 58};
    const CivilTime back = CivilTimeOf(SecondsOf(moment));
    EXPECT_EQ(back.Year, 2024);
    EXPECT_EQ(back.Month, 2);
    EXPECT_EQ(back.Day, 29);
    EXPECT_EQ(back.Second, 58);
    EXPECT_EQ(WeekdayOf(DaysFromCivil(2026, 12, 7)), 0);  // Monday
    EXPECT_EQ(WeekdayOf(DaysFromCivil(2026, 12, 13)), 6); // Sunday
    EXPECT_FALSE(IsValidDate(2023, 2, 29));
    EXPECT_TRUE(IsValidDate(2000, 2, 29));
}

} // namespace
} // namespace qdl::standin
