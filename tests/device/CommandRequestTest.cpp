#include "DeviceFixture.h"

namespace qdl::test {
namespace {

const std::string Outlets = "<html>P60=1,P61=0,P62=0,P63=1</html>";

class CommandRequestTest : public DeviceTest {};

TEST_F(CommandRequestTest, GetPowerSendsExactlyTheRequest) {
    device.ReplyBody(Outlets);
    ASSERT_TRUE(GetPowerFromSwitch());
    ASSERT_EQ(device.Requests().size(), 1u);
    EXPECT_EQ(device.Requests()[0],
              ExpectedRequest("/Set.cmd?CMD=GetPower", "127.0.0.1", DefaultAuthorization));
    EXPECT_EQ(reply, (ReplyList{"P60=1", "P61=0", "P62=0", "P63=1"}));
}

TEST_F(CommandRequestTest, EachCommandHasItsQuery) {
    struct Row {
        std::function<bool()> Command;
        std::string Target;
    };
    const Row rows[] = {
        {[&] {
             return SetPower(http, "127.0.0.1", device.Port(), "admin", "40617253",
                             "+P60=1+P61=0+P62=0+P63=1", reply);
         },
         "/Set.cmd?CMD=SetPower+P60=1+P61=0+P62=0+P63=1"},
        {[&] { return GetSchedule(http, "127.0.0.1", device.Port(), "admin", "40617253", "3B", reply); },
         "/Set.cmd?CMD=GetSchedule+Power=3B"},
        {[&] {
             return SetSchedule(http, "127.0.0.1", device.Port(), "admin", "40617253", "1A", "2006", "11",
                                "27", "08", "05", "05", "128", "1", reply);
         },
         "/Set.cmd?CMD=SetSchedule+Power=1A+YY=2006+MM=11+DD=27+HH=08+MN=05+SS=05+PARAM=128+ONOFF=1"},
    };
    for (const Row& row : rows) {
        device.ReplyBody(Outlets);
        EXPECT_TRUE(row.Command());
        EXPECT_EQ(device.Requests().back(), ExpectedRequest(row.Target, "127.0.0.1", DefaultAuthorization));
    }
    EXPECT_EQ(device.Connections(), 3u) << "one connection per command";
}

TEST_F(CommandRequestTest, HostHeaderNamesTheHostWithoutPort) {
    ASSERT_NE(device.Port(), 80);
    device.ReplyBody(Outlets);
    ASSERT_TRUE(GetPowerFromSwitch("LocalHost"));
    EXPECT_EQ(device.Requests()[0],
              ExpectedRequest("/Set.cmd?CMD=GetPower", "LocalHost", DefaultAuthorization));
}

TEST_F(CommandRequestTest, CredentialsReachTheHeaderWhateverTheyHold) {
    struct Row {
        std::string User, Password, Authorization;
    };
    const Row rows[] = {
        {"admin", "new-pass", "YWRtaW46bmV3LXBhc3M="},   // admin:new-pass
        {"admin", "a:b@c/d\\e", "YWRtaW46YTpiQGMvZFxl"}, // admin:a:b@c/d\e
        {"  admin ", " secret  ", "YWRtaW46c2VjcmV0"},   // ends trimmed: admin:secret
        {"", "ignored", "Og=="},                         // an empty user name sends ":"
        {"u@h/x", "p", "dUBoL3g6cA=="},                  // u@h/x:p
    };
    for (const Row& row : rows) {
        device.ReplyBody(Outlets);
        ASSERT_TRUE(GetPower(http, "127.0.0.1", device.Port(), row.User, row.Password, reply));
        EXPECT_EQ(device.Requests().back(),
                  ExpectedRequest("/Set.cmd?CMD=GetPower", "127.0.0.1", row.Authorization))
            << row.User << ":" << row.Password;
    }
}

TEST_F(CommandRequestTest, CookiesComeBackOnLaterRequests) {
    device.Reply("HTTP/1.1 200 OK\r\nSet-Cookie: session=abc; Path=/\r\nSet-Cookie: deep=1; Path=/admin\r\n"
                 "Set-Cookie2: empty=; Path=/\r\nContent-Length: 13\r\n\r\n<html></html>");
    device.ReplyBody(Outlets);
    EXPECT_FALSE(GetPowerFromSwitch());
    EXPECT_TRUE(GetPowerFromSwitch());
    EXPECT_EQ(device.Requests()[0],
              ExpectedRequest("/Set.cmd?CMD=GetPower", "127.0.0.1", DefaultAuthorization));
    EXPECT_EQ(device.Requests()[1],
              ExpectedRequest("/Set.cmd?CMD=GetPower", "127.0.0.1", DefaultAuthorization, "session=abc"));
}

TEST_F(CommandRequestTest, CookiesOfAFailedReplyAreKeptToo) {
    device.Reply("HTTP/1.1 401 Unauthorized\r\nSet-Cookie: token=t1\r\nContent-Length: 0\r\n\r\n");
    device.ReplyBody(Outlets);
    EXPECT_EQ(FailureOf([&] { GetPowerFromSwitch(); }), "HTTP/1.1 401 Unauthorized");
    EXPECT_TRUE(GetPowerFromSwitch());
    EXPECT_EQ(device.Requests()[1],
              ExpectedRequest("/Set.cmd?CMD=GetPower", "127.0.0.1", DefaultAuthorization, "token=t1"));
}

} // namespace
} // namespace qdl::test
