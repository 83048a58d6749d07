#include "DeviceFixture.h"

#include <chrono>

namespace qdl::test {
namespace {

using namespace std::chrono_literals;

struct FailureCase {
    const char* Name;
    ScriptedSwitch::Answer Answer;
    std::string Message;
    friend void PrintTo(const FailureCase& row, std::ostream* out) { *out << row.Name; }
};

class ReplyFailureTest : public DeviceTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(ReplyFailureTest, FailsWithItsMessageAndKeepsTheList) {
#ifdef _WIN32
    // wine closes a socket in order even when it should reset it: the reset cannot be staged there.
    if (GetParam().Answer.After == ScriptedSwitch::Then::Reset)
        GTEST_SKIP();
#endif
    reply = {"P60=1"};
    device.Script(GetParam().Answer);
    EXPECT_EQ(FailureOf([&] { GetPowerFromSwitch(); }), GetParam().Message);
    EXPECT_EQ(reply, ReplyList{"P60=1"});
    EXPECT_EQ(device.Connections(), 1u) << "no retry, no redirect followed";
}

using Then = ScriptedSwitch::Then;

INSTANTIATE_TEST_SUITE_P(
    Rows, ReplyFailureTest,
    testing::Values(
        FailureCase{"Unauthorized",
                    {"HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\nContent-Length: "
                     "4\r\n\r\nnope"},
                    "HTTP/1.0 401 Unauthorized"},
        FailureCase{"NotFoundUntilClose",
                    {"HTTP/1.1 404 Not Found\r\n\r\n<html>gone</html>"},
                    "HTTP/1.1 404 Not Found"},
        FailureCase{"Redirect",
                    {"HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/\r\nContent-Length: 0\r\n\r\n"},
                    "HTTP/1.1 302 Found"},
        FailureCase{"OkWithLocation",
                    {"HTTP/1.1 200 OK\r\nLocation: /elsewhere\r\nContent-Length: 0\r\n\r\n"},
                    "HTTP/1.1 200 OK"},
        FailureCase{"NotModified", {"HTTP/1.1 304 Not Modified\r\n\r\n"}, "HTTP/1.1 304 Not Modified"},
        FailureCase{"NoStatusCode", {"garbage\r\n\r\n"}, "garbage"},
        FailureCase{"ClosedAtOnce", {"", Then::Close}, "Connection Closed Gracefully."},
        FailureCase{"ClosedInStatusLine", {"HTTP/1.1 2"}, "Connection Closed Gracefully."},
        FailureCase{
            "ClosedBeforeFirstHeader", {"HTTP/1.1 200 OK\r\nContent-Le"}, "Connection Closed Gracefully."},
        FailureCase{
            "ClosedInLaterHeaderOk", {"HTTP/1.1 200 OK\r\nServer: x\r\nContent-Le"}, "Undefined situation"},
        FailureCase{"ClosedInLaterHeaderError", {"HTTP/1.1 500 Oops\r\nServer: x\r\n"}, "HTTP/1.1 500 Oops"},
        FailureCase{"LineTooLong",
                    {"HTTP/1.1 200 OK\r\nX-Pad: " + std::string(16384, 'x') + "\r\n\r\n"},
                    "Max line length exceeded."},
        FailureCase{"StatusLineTooLong",
                    {"HTTP/1.1 200 " + std::string(20000, 'x'), Then::Hold},
                    "Max line length exceeded."},
        FailureCase{"BadContentRange",
                    {"HTTP/1.1 200 OK\r\nContent-Range: bytes 0-x/10\r\n\r\n"},
                    "'x' は整数ではありません"},
        FailureCase{"ExpiresTooFar",
                    {"HTTP/1.1 200 OK\r\nExpires: 86400\r\n\r\n"},
                    "時刻に変換できない値が渡されました"},
        FailureCase{"ExpiresNegative",
                    {"HTTP/1.1 200 OK\r\nExpires: -2\r\n\r\n"},
                    "時刻に変換できない値が渡されました"},
        FailureCase{"ResetByPeer",
                    {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n<html>", Then::Reset},
                    "Socket Error # 10054\nConnection reset by peer."}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.Name; });

// Short time limits so the switch's silence is noticed quickly; the limits themselves are
// the client's defaults otherwise.
HttpClientOptions Impatient() {
    HttpClientOptions options;
    options.ReadTimeout = 300ms;
    options.ErrorBodyTimeout = 100ms;
    options.Limits.MaxBodySize = 64;
    return options;
}

class SilentSwitchTest : public DeviceTest {
protected:
    SilentSwitchTest() : DeviceTest(Impatient()) {}
};

TEST_F(SilentSwitchTest, NoAnswerFailsWithReadTimeout) {
    device.Script({"", Then::Hold});
    EXPECT_EQ(FailureOf([&] { GetPowerFromSwitch(); }), "Read Timeout");
}

TEST_F(SilentSwitchTest, BodyWithoutEndFailsWithReadTimeout) {
    device.Script({"HTTP/1.1 200 OK\r\n\r\n<html>P60=1</html>", Then::Hold});
    EXPECT_EQ(FailureOf([&] { GetPowerFromSwitch(); }), "Read Timeout");
}

TEST_F(SilentSwitchTest, ErrorBodyThatNeverEndsFailsWithReadTimeout) {
    device.Script({"HTTP/1.1 401 Unauthorized\r\nContent-Length: 10\r\n\r\nabc", Then::Hold});
    EXPECT_EQ(FailureOf([&] { GetPowerFromSwitch(); }), "Read Timeout");
}

TEST_F(SilentSwitchTest, OversizedBodyFailsClearly) {
    device.Reply("HTTP/1.1 200 OK\r\n\r\n<html>" + std::string(100, 'x') + "</html>");
    device.Reply("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n<html>");
    const std::string message = "The reply is larger than 64 bytes; the switch's answer was not read.";
    EXPECT_EQ(FailureOf([&] { GetPowerFromSwitch(); }), message);
    EXPECT_EQ(FailureOf([&] { GetPowerFromSwitch(); }), message);
}

TEST_F(SilentSwitchTest, DefaultsAreTheUsualLimits) {
    const HttpClientOptions defaults;
    EXPECT_EQ(defaults.ConnectTimeout, 1000ms);
    EXPECT_EQ(defaults.ReadTimeout, 5000ms);
    EXPECT_EQ(defaults.ErrorBodyTimeout, 2000ms);
    EXPECT_EQ(defaults.Limits.MaxLineLength, 16384u);
    EXPECT_EQ(defaults.Limits.MaxHeadSize, 65536u);
    EXPECT_EQ(defaults.Limits.MaxHeaderLines, 256u);
    EXPECT_EQ(defaults.Limits.MaxBodySize, 16384u);
}

TEST_F(DeviceTest, RefusedConnectionFailsWith10061) {
    EXPECT_EQ(FailureOf([&] { GetPower(http, "127.0.0.1", ClosedPort(), "admin", "40617253", reply); }),
              "Socket Error # 10061\nConnection refused.");
}

TEST_F(DeviceTest, UnansweredConnectGivesUpWithinTheLimit) {
    FullListener full;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(FailureOf([&] { GetPower(http, "127.0.0.1", full.Port(), "admin", "40617253", reply); }),
              "Connect timed out.");
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GE(took, 900ms);
    EXPECT_LT(took, 1500ms);
}

struct InputCase {
    const char* Name;
    std::string Host;
    int Port;
    std::string User;
    std::string Password;
    std::string Message;
    friend void PrintTo(const InputCase& row, std::ostream* out) { *out << row.Name; }
};

class InputFailureTest : public DeviceTest, public testing::WithParamInterface<InputCase> {};

TEST_P(InputFailureTest, FailsBeforeConnecting) {
    const InputCase& row = GetParam();
    const int port = row.Port == 0 ? device.Port() : row.Port;
    EXPECT_EQ(FailureOf([&] { GetPower(http, row.Host, port, row.User, row.Password, reply); }), row.Message);
    EXPECT_EQ(device.Connections(), 0u);
}

const std::string HostNotFound = "Socket Error # 11001\nHost not found.";

INSTANTIATE_TEST_SUITE_P(
    Rows, InputFailureTest,
    testing::Values(InputCase{"PortZero", "127.0.0.1", -1, "admin", "x",
                              "Port -1 is not a TCP port: it must lie between 1 and 65535."},
                    InputCase{"PortTooBig", "127.0.0.1", 70000, "admin", "x",
                              "Port 70000 is not a TCP port: it must lie between 1 and 65535."},
                    InputCase{"HostWithAt", "evil@127.0.0.1", 0, "admin", "x", HostNotFound},
                    InputCase{"HostWithSlash", "127.0.0.1/x", 0, "admin", "x", HostNotFound},
                    InputCase{"HostWithBackslash", "127.0.0.1\\x", 0, "admin", "x", HostNotFound},
                    InputCase{"HostWithBlank", "127.0.0 .1", 0, "admin", "x", HostNotFound},
                    InputCase{"EmptyHost", "", 0, "admin", "x", HostNotFound},
                    InputCase{"HostWithLineBreak", "127.0.0.1\r\nX-Evil: 1", 0, "admin", "x", HostNotFound},
                    InputCase{"IPv6Address", "::1", 0, "admin", "x",
                              HostNotFound + " ::1 is an IPv6 address; the switch is reached over IPv4 only."}),
    [](const testing::TestParamInfo<InputCase>& info) { return info.param.Name; });

TEST_F(DeviceTest, ControlCharactersInsideCredentialsTravelEncoded) {
    device.ReplyBody("<html>P60=1</html>");
    ASSERT_TRUE(GetPower(http, "127.0.0.1", device.Port(), "\tad\tmin ", "a\r\nX-Evil: 1\n", reply));
    EXPECT_EQ(device.Requests().at(0),
              ExpectedRequest("/Set.cmd?CMD=GetPower", "127.0.0.1", "YWQJbWluOmENClgtRXZpbDogMQ=="));
}

TEST_F(DeviceTest, ControlCharactersInACommandFieldAreRefused) {
    EXPECT_EQ(FailureOf([&] {
                  GetSchedule(http, "127.0.0.1", device.Port(), "admin", "x", "1A HTTP/1.1\r\n", reply);
              }),
              "The command holds a control character (such as a line break); nothing was sent.");
    EXPECT_EQ(device.Connections(), 0u);
}

} // namespace
} // namespace qdl::test
