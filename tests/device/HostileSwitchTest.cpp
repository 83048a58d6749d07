// Switches that misbehave without end: every command still ends, with its message, within its
// time limit, and what the peer sends never outgrows the reader's caps.
#include "DeviceFixture.h"

#include <chrono>

namespace qdl::test {
namespace {

using namespace std::chrono_literals;
using Then = ScriptedSwitch::Then;

constexpr auto ReadLimit = 400ms;
constexpr auto ErrorBodyLimit = 200ms;

HttpClientOptions ShortLimits() {
    HttpClientOptions options;
    options.ReadTimeout = ReadLimit;
    options.ErrorBodyTimeout = ErrorBodyLimit;
    return options;
}

struct HostileCase {
    const char* Name;
    ScriptedSwitch::Answer Answer;
    std::string Message;
    friend void PrintTo(const HostileCase& row, std::ostream* out) { *out << row.Name; }
};

class HostileSwitchTest : public DeviceTest, public testing::WithParamInterface<HostileCase> {
protected:
    HostileSwitchTest() : DeviceTest(ShortLimits()) {}
};

TEST_P(HostileSwitchTest, EndsWithItsMessageWithinTheLimit) {
    device.Script(GetParam().Answer);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(FailureOf([&] { GetPowerFromSwitch(); }), GetParam().Message);
    // Generous for a loaded machine, yet far below what an unbounded read would take.
    EXPECT_LT(std::chrono::steady_clock::now() - started, ReadLimit + 1500ms);
}

const std::string Ok = "HTTP/1.1 200 OK\r\n";
const std::string TooManyLines = "The switch's reply has more than 256 header lines.";
const std::string HeadTooLarge = "The switch's reply headers are larger than 65536 bytes.";
const std::string BodyTooLarge = "The reply is larger than 16384 bytes; the switch's answer was not read.";

std::string HeaderLines(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i)
        lines += "X-Line: " + std::to_string(i) + "\r\n";
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HostileSwitchTest,
    testing::Values(
        HostileCase{"Silent", {"", Then::Hold}, "Read Timeout"},
        HostileCase{"EndlessHeaderLines", ScriptedSwitch::Endless(Ok, "X-Pad: 0123456789\r\n"), TooManyLines},
        HostileCase{"EndlessLongHeaderLines",
                    ScriptedSwitch::Endless(Ok, "X-Pad: " + std::string(1000, 'x') + "\r\n"), HeadTooLarge},
        HostileCase{"ThousandsOfCookies", ScriptedSwitch::Endless(Ok, "Set-Cookie: id=0123456789abcdef\r\n"),
                    TooManyLines},
        HostileCase{"StreamedContinue", ScriptedSwitch::Endless("", "HTTP/1.1 100 Continue\r\n\r\n"),
                    HeadTooLarge},
        HostileCase{"PacedContinue", ScriptedSwitch::Endless("", "HTTP/1.1 100 Continue\r\n\r\n", 20ms),
                    "Read Timeout"},
        HostileCase{"DribbledHead", ScriptedSwitch::Endless(Ok, "X-A: 1\r\n", 10ms), "Read Timeout"},
        HostileCase{"DribbledBody", ScriptedSwitch::Endless(Ok + "\r\n<html>", "x", 5ms), "Read Timeout"},
        HostileCase{"HugeContentLengthThenStall",
                    {Ok + "Content-Length: 99999999999\r\n\r\n<html>", Then::Hold},
                    BodyTooLarge},
        HostileCase{"HugeErrorBodyThenStall",
                    {"HTTP/1.1 401 Unauthorized\r\nContent-Length: 99999999999\r\n\r\nno", Then::Hold},
                    "Read Timeout"},
        HostileCase{
            "EndlessChunks",
            ScriptedSwitch::Endless(Ok + "Transfer-Encoding: chunked\r\n\r\n", "10\r\n0123456789abcdef\r\n"),
            BodyTooLarge},
        HostileCase{
            "EndlessErrorChunks",
            ScriptedSwitch::Endless("HTTP/1.1 500 Oops\r\nTransfer-Encoding: chunked\r\n\r\n", "1\r\nx\r\n"),
            "Read Timeout"},
        HostileCase{"EndlessBodyUntilClose", ScriptedSwitch::Endless(Ok + "\r\n", std::string(4096, 'x')),
                    BodyTooLarge},
        HostileCase{"EmptyStatusLine", {"\n\n"}, "The switch answered with an empty status line."},
        HostileCase{"StatusLineStartingWithNul",
                    {std::string("\0 401 Unauthorized\r\n\r\n", 22)},
                    "The switch answered with an empty status line."},
        HostileCase{"StatusLineWithNul", {std::string("HTTP/1.1 401 No\0pe\r\n\r\n", 22)}, "HTTP/1.1 401 No"},
        HostileCase{
            "CloseMidChunk", {Ok + "Transfer-Encoding: chunked\r\n\r\n20\r\n<html>P60=1</ht"}, "no failure"},
        HostileCase{"MostHeaderLinesAllowed",
                    {Ok + HeaderLines(255) + "Content-Length: 18\r\n\r\n<html>P60=1</html>"},
                    "no failure"},
        HostileCase{"OneHeaderLineTooMany",
                    {Ok + HeaderLines(256) + "Content-Length: 18\r\n\r\n<html>P60=1</html>"},
                    TooManyLines}),
    [](const testing::TestParamInfo<HostileCase>& info) { return info.param.Name; });

} // namespace
} // namespace qdl::test
