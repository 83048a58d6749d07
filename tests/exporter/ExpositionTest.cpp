// What a probe shows Prometheus: the exposition's names, labels and families, checked by the
// Prometheus tools' own parser (promtool), and when schedule entries fire next.
#include "Base64.h"
#include "Metrics.h"
#include "RunProgram.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

namespace qdl::test {
namespace {

using namespace control;

ProbeResult Up(OutletStates outlets) {
    ProbeResult result;
    result.Up = true;
    result.Outlets = outlets;
    result.DurationSeconds = 0.25;
    return result;
}

ProbeResult Down(const char* kind) {
    ProbeResult result;
    result.Kind = FailureKind::Timeout;
    result.FailureKind = kind;
    result.DurationSeconds = 1.5;
    return result;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

void PromtoolAccepts(const std::string& exposition) {
    const ProgramResult check = RunProgram({PROMTOOL_PATH, "check", "metrics"}, exposition);
    EXPECT_EQ(check.ExitCode, 0) << check.Out << check.Err << exposition;
}

TEST(ExpositionTest, AReadSwitchShowsItsOutletsWithTheirNamesEscaped) {
    ProbeRequest request;
    request.OutletNames = {{1, "web \"front\"\\1\nrack"}, {3, "db"}};
    const std::string text = ProbeExposition(Up({true, false, true, false}), request, 0);
    EXPECT_NE(text.find("qdl4816_up 1\n"), std::string::npos);
    EXPECT_NE(text.find("qdl4816_outlet_on{outlet=\"1\",name=\"web \\\"front\\\"\\\\1\\nrack\"} 1\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("qdl4816_outlet_on{outlet=\"2\"} 0\n"), std::string::npos);
    EXPECT_NE(text.find("qdl4816_outlet_on{outlet=\"3\",name=\"db\"} 1\n"), std::string::npos);
    EXPECT_NE(text.find("qdl4816_probe_duration_seconds 0.25\n"), std::string::npos);
    EXPECT_EQ(Count(text, "qdl4816_probe_failure"), 0u);
    for (const char* family : {"qdl4816_up", "qdl4816_outlet_on", "qdl4816_probe_duration_seconds"}) {
        EXPECT_EQ(Count(text, std::string("# HELP ") + family + " "), 1u) << family;
        EXPECT_EQ(Count(text, std::string("# TYPE ") + family + " gauge\n"), 1u) << family;
    }
    PromtoolAccepts(text);
}

// An unreadable switch never shows as OFF: no outlet series at all, the failure's kind instead.
TEST(ExpositionTest, AFailedProbeShowsNoOutletsAndItsKind) {
    for (const char* kind : {"timeout", "auth", "refused", "protocol", "http"}) {
        ProbeResult down = Down(kind);
        down.HttpStatus = std::string(kind) == "http" ? 503 : 0;
        const std::string text = ProbeExposition(down, {}, 0);
        EXPECT_EQ(Count(text, "qdl4816_probe_http_status 503\n"), down.HttpStatus ? 1u : 0u) << text;
        EXPECT_NE(text.find("qdl4816_up 0\n"), std::string::npos);
        EXPECT_NE(text.find(std::string("qdl4816_probe_failure{kind=\"") + kind + "\"} 1\n"),
                  std::string::npos);
        EXPECT_EQ(Count(text, "qdl4816_outlet_on"), 0u) << kind;
        EXPECT_EQ(Count(text, "schedule"), 0u) << kind;
        PromtoolAccepts(text);
    }
}

// Entries in UTC, so that the test means the same on every machine: Monday 2026-12-07 09:00.
class NextFiringTest : public testing::Test {
protected:
    NextFiringTest() {
        const char* zone = std::getenv("TZ");
        saved_ = zone ? std::optional<std::string>(zone) : std::nullopt;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    ~NextFiringTest() override {
        if (saved_)
            ::setenv("TZ", saved_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    static constexpr std::time_t Monday0900 = 1796634000; // 2026-12-07T09:00:00Z

private:
    std::optional<std::string> saved_;
};

TEST_F(NextFiringTest, EachRepeatModeFiresOnItsDays) {
    const auto entry = [](Date day, int repeat) {
        ScheduleEntry e;
        e.Slot = "1A";
        e.Day = day;
        e.At = Time{8, 0, 0, 0};
        e.Repeat = repeat;
        return e;
    };
    const std::time_t day = 86400, eight = 8 * 3600, mondayMidnight = Monday0900 - 9 * 3600;
    const struct {
        const char* Name;
        ScheduleEntry Entry;
        std::optional<std::time_t> Next;
    } rows[] = {
        {"Disabled", entry({2026, 12, 1}, 0), std::nullopt},
        {"OnceAhead", entry({2026, 12, 24}, 1), mondayMidnight + 17 * day + eight},
        {"OncePast", entry({2026, 12, 7}, 1), std::nullopt},
        {"EverydayTomorrow", entry({2026, 1, 1}, 2), mondayMidnight + day + eight},
        {"EverydayFromItsDay", entry({2026, 12, 10}, 2), mondayMidnight + 3 * day + eight},
        {"WeekdaysTomorrow", entry({2026, 1, 1}, 3), mondayMidnight + day + eight},
        {"WeekendSaturday", entry({2026, 1, 1}, 4), mondayMidnight + 5 * day + eight},
    };
    for (const auto& row : rows)
        EXPECT_EQ(NextFiring(row.Entry, Monday0900), row.Next) << row.Name;
}

TEST_F(NextFiringTest, ScheduleSeriesNameTheSlotAndTheRepeatMode) {
    ProbeResult result = Up({false, false, false, false});
    ScheduleEntry entry;
    entry.Slot = "2B";
    entry.Day = {2026, 12, 24};
    entry.At = {18, 30, 0, 0};
    entry.Repeat = 1;
    entry.On = true;
    result.Schedule = {entry};
    const std::string text = ProbeExposition(result, {}, Monday0900);
    const std::string labels = "{slot=\"2B\",outlet=\"2\",repeat=\"once\"}";
    EXPECT_NE(text.find("qdl4816_schedule_entry_enabled" + labels + " 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("qdl4816_schedule_entry_switches_on" + labels + " 1\n"), std::string::npos);
    EXPECT_NE(text.find("qdl4816_schedule_entry_next_timestamp_seconds" + labels + " 1798137000\n"),
              std::string::npos);
    PromtoolAccepts(text);
}

TEST(Base64DecodeTest, ReadsWhatEncodeWritesAndRefusesTheRest) {
    for (const std::string& bytes :
         std::vector<std::string>{"", "a", "ab", "abc", "admin:40617253", std::string("\0\xff", 2)})
        EXPECT_EQ(Base64Decode(Base64Encode(bytes)), bytes);
    for (const char* text : {"YQ", "Y===", "YQ=a", "Y!==", "YWJj=", "=YWJ"})
        EXPECT_EQ(Base64Decode(text), std::nullopt) << text;
}

} // namespace
} // namespace qdl::test
