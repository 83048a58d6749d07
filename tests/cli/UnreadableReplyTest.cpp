// Every front end that scripts and clusters run, against replies that do not show the four
// outlets: each must fail in its own way and never build a write on what it could not read.
#include "CliFixture.h"

#include <algorithm>

namespace qdl::test {
namespace {

struct FrontEndCase {
    const char* Name;
    bool Agent;                         // the fence agent, else qdlctl
    std::vector<std::string> Arguments; // "PORT" stands for the scripted switch's port
    std::string Input;
    int ExitCode;
    bool OnStandardOutput; // where the reason is told
    std::string Says;      // a part of it
    friend void PrintTo(const FrontEndCase& row, std::ostream* out) { *out << row.Name; }
};

struct UnreadableCase {
    const char* Name;
    std::string Body;
    friend void PrintTo(const UnreadableCase& row, std::ostream* out) { *out << row.Name; }
};

class UnreadableReplyTest : public CliTest,
                            public testing::WithParamInterface<std::tuple<FrontEndCase, UnreadableCase>> {};

TEST_P(UnreadableReplyTest, FailsAndSendsNoSetPower) {
    const auto& [frontEnd, reply] = GetParam();
    device.DefaultAnswer({Reply(reply.Body)});
    std::vector<std::string> arguments = frontEnd.Arguments;
    std::replace(arguments.begin(), arguments.end(), std::string("PORT"), Port());
    input = frontEnd.Input;
    const ProgramResult result = frontEnd.Agent ? Fence(arguments) : Qdlctl(arguments);
    EXPECT_EQ(result.ExitCode, frontEnd.ExitCode) << result.Out << result.Err;
    EXPECT_NE((frontEnd.OnStandardOutput ? result.Out : result.Err).find(frontEnd.Says), std::string::npos)
        << result.Out << result.Err;
    for (const auto& command : Commands())
        EXPECT_EQ(command.rfind("SetPower", 0), std::string::npos) << command;
}

const std::vector<std::string> Qdl{"--host", "127.0.0.1", "--port", "PORT"};
const std::vector<std::string> Agent{"-a", "127.0.0.1", "-u", "PORT", "-p", "x", "-n", "2", "-o"};
const std::string Unread = "127.0.0.1:";

INSTANTIATE_TEST_SUITE_P(
    Rows, UnreadableReplyTest,
    testing::Combine(
        testing::Values(
            FrontEndCase{"Status", false, With(Qdl, {"status"}), "", 1, false, "answered GetPower"},
            FrontEndCase{"On", false, With(Qdl, {"on", "2"}), "", 1, false, "answered GetPower"},
            FrontEndCase{"Off", false, With(Qdl, {"off", "1"}), "", 1, false, "answered GetPower"},
            FrontEndCase{"Toggle", false, With(Qdl, {"toggle", "3"}), "", 1, false, "answered GetPower"},
            FrontEndCase{"Set", false, With(Qdl, {"set", "1=on", "4=off"}), "", 1, false,
                         "answered GetPower"},
            FrontEndCase{"Cycle", false, With(Qdl, {"cycle", "2", "--off-time", "0"}), "", 1, false,
                         "answered GetPower"},
            FrontEndCase{"AgentStatus", true, With(Agent, {"status"}), "", 1, false, "Failed: "},
            FrontEndCase{"AgentOn", true, With(Agent, {"on"}), "", 1, false, "Failed: "},
            FrontEndCase{"AgentOff", true, With(Agent, {"off"}), "", 1, false, "Failed: "},
            FrontEndCase{"AgentReboot", true, With(Agent, {"reboot"}), "", 1, false, "Failed: "},
            FrontEndCase{"AgentMonitor", true, With(Agent, {"monitor"}), "", 1, false, "Failed: "},
            FrontEndCase{"AgentListStatus", true, With(Agent, {"list-status"}), "", 1, false, "Failed: "},
            FrontEndCase{"Check", false, With(Qdl, {"check"}), "", 2, true, "QDL4816 CRITICAL - " + Unread},
            FrontEndCase{"ShellStatus", false, With(Qdl, {"shell"}), "status\n", 0, true, "ERROR: " + Unread},
            FrontEndCase{"ShellOn", false, With(Qdl, {"shell"}), "on 2\n", 0, true, "ERROR: " + Unread},
            FrontEndCase{"ShellOff", false, With(Qdl, {"shell"}), "off *\n", 0, true, "ERROR: " + Unread},
            FrontEndCase{"ShellCycle", false, With(Qdl, {"shell"}), "cycle 2\n", 0, true,
                         "ERROR: " + Unread}),
        testing::Values(
            UnreadableCase{"BusyPage", "<html>Busy, try again</html>"},
            UnreadableCase{"LoginPage", "<html><form>Password: <input type=password></form></html>"},
            UnreadableCase{"EmptyBody", ""}, UnreadableCase{"TwoOutlets", "<html>P60=1,P61=0</html>"},
            UnreadableCase{"OutletValueTwo", "<html>P60=0,P61=1,P62=0,P63=2</html>"},
            UnreadableCase{"OutletValueEmpty", "<html>P60=0,P61=,P62=0,P63=1</html>"})),
    [](const testing::TestParamInfo<std::tuple<FrontEndCase, UnreadableCase>>& info) {
        return std::string(std::get<0>(info.param).Name) + "_" + std::get<1>(info.param).Name;
    });

const std::string Busy = "<html>Busy, try again</html>";

// The read before the lock showed the outlets; the one under the lock, which the write would be
// built on, did not.
TEST_F(CliTest, AnUnreadableReadUnderTheLockStopsTheChange) {
    device.Reply(Reply(P0100));
    device.Reply(Reply(Busy));
    input = "action=off\nip=127.0.0.1\nipport=" + Port() + "\npassword=x\nport=2\n";
    const ProgramResult fence = Fence({});
    EXPECT_EQ(fence.ExitCode, 1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"GetPower", "GetPower"}));

    for (const auto& body : {P0100, P0000, P0000, Busy})
        device.Reply(Reply(body));
    const ProgramResult cycle = Qdlctl(At({"cycle", "2", "--off-time", "0"}));
    EXPECT_EQ(cycle.ExitCode, 1);
    EXPECT_EQ(cycle.Err.rfind("Outlet 2 was left OFF: 127.0.0.1:" + Port() +
                                  " answered GetPower without the four outlet states: ",
                              0),
              0u)
        << cycle.Err;
    EXPECT_EQ(Commands(),
              (std::vector<std::string>{"GetPower", "GetPower", "GetPower",
                                        "SetPower+P60=0+P61=0+P62=0+P63=0", "GetPower", "GetPower"}));
}

} // namespace
} // namespace qdl::test
