#include "SwitchServer.h"
#include "FailureOf.h"
#include "QDLHttpU.h"
#include "ScheduleReply.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace qdl::standin {
namespace {

// The stand-in switch serving on a free loopback port for the life of the test.
class SwitchServerTest : public testing::Test {
protected:
    SwitchServerTest()
        : server(state, SwitchOptions{}, log), port(server.Bind()), serving([this] { server.Serve(); }) {
        // The separators the window sets at start-up; a day-first order the year-first dates must survive.
        ProcessFormatSettings().DateSeparator = '-';
        ProcessFormatSettings().TimeSeparator = ':';
        ProcessFormatSettings().Order = DateOrder::DayMonthYear;
    }
    ~SwitchServerTest() override {
        server.Stop();
        serving.join();
    }

    bool Get(const std::string& password = "40617253") {
        return GetPower(http, "127.0.0.1", port, "admin", password, reply);
    }

    SwitchState state{CivilTime{2026, 12, 7, 12, 0, 0}};
    std::ostringstream log;
    SwitchServer server;
    int port;
    std::thread serving;
    HttpClient http;
    ReplyList reply;
};

TEST_F(SwitchServerTest, AnswersTheProgramsCommands) {
    ASSERT_TRUE(SetPower(http, "127.0.0.1", port, "admin", "40617253", "+P60=1+P61=0+P62=0+P63=1", reply));
    ASSERT_TRUE(Get());
    EXPECT_EQ(reply, (ReplyList{"P60=1", "P61=0", "P62=0", "P63=1"}));
    ASSERT_TRUE(SetSchedule(http, "127.0.0.1", port, "admin", "40617253", "3A", "2007", "03", "05", "15",
                            "30", "00", "127", "1", reply));
    ASSERT_TRUE(GetSchedule(http, "127.0.0.1", port, "admin", "40617253", "3A", reply));
    EXPECT_EQ(ScheduleDate(reply), (Date{2007, 3, 5}));
    EXPECT_EQ(ScheduleTime(reply), (Time{15, 30, 0, 0}));
    EXPECT_EQ(ScheduleRepeatIndex(reply), 2);
    EXPECT_EQ(ScheduleOnOffDigit(reply), 1);
    EXPECT_FALSE(GetSchedule(http, "127.0.0.1", port, "admin", "40617253", "9Z", reply))
        << "a malformed command";
}

TEST_F(SwitchServerTest, RefusesWrongOrMissingCredentials) {
    EXPECT_EQ(test::FailureOf([&] { Get("wrong"); }), "HTTP/1.1 401 Unauthorized");
    httplib::Client anonymous("127.0.0.1", port);
    const auto result = anonymous.Get("/Set.cmd?CMD=SetPower+P60=1");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 401);
    EXPECT_EQ(result->get_header_value("WWW-Authenticate"), "Basic realm=\"Quadrel 4816\"");
    EXPECT_FALSE(state.Outlet(1));
}

TEST_F(SwitchServerTest, ItsPageShowsAndSwitchesTheOutlets) {
    httplib::Client browser("127.0.0.1", port);
    browser.set_basic_auth("admin", "40617253");
    const auto page = browser.Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("Outlet 2</td><td class=\"off\">OFF"), std::string::npos);
    const auto toggled = browser.Post("/outlet/2");
    ASSERT_TRUE(toggled);
    EXPECT_EQ(toggled->status, 303);
    EXPECT_TRUE(state.Outlet(2));
    EXPECT_NE(browser.Get("/")->body.find("Outlet 2</td><td class=\"on\">ON"), std::string::npos);
}

// The bytes of one request, sent as they are.
void SendRaw(int port, const std::string& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char reply[4096];
    while (::recv(fd, reply, sizeof reply, 0) > 0) {
    }
    ::close(fd);
}

TEST_F(SwitchServerTest, LogsOneLinePerRequestWithThePasswordMasked) {
    Get();
    EXPECT_THROW(Get("wrong"), std::runtime_error);
    httplib::Client curious("127.0.0.1", port);
    curious.Get("/Set.cmd?CMD=GetPower&password=40617253");
    SendRaw(port,
            "GET /Set.cmd?CMD=GetPower&p=%34%30%36%31%37%32%35%33&q=\x1b[2J HTTP/1.1\r\nHost: x\r\n\r\n");
    server.Stop();
    serving.join();
    serving = std::thread([] {});
    // Requests on different connections are logged as each finishes, in any order.
    const std::regex line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ 127\.0\.0\.1:\d+ GET (.*))");
    std::vector<std::string> requests;
    std::istringstream lines(log.str());
    for (std::string text; std::getline(lines, text);) {
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(text, parts, line)) << text;
        requests.push_back(parts[1]);
    }
    std::sort(requests.begin(), requests.end());
    EXPECT_EQ(requests, (std::vector<std::string>{"/Set.cmd?CMD=GetPower 200", "/Set.cmd?CMD=GetPower 401",
                                                  "/Set.cmd?CMD=GetPower&p=***&q=\\x1B[2J 401",
                                                  "/Set.cmd?CMD=GetPower&password=*** 401"}));
}

} // namespace
} // namespace qdl::standin
