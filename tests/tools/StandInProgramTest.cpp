// The stand-in switch program as scripts use it: its state across restarts, its faults on
// purpose, its start-up checks and its load, each seen from a client.
#include "FailureOf.h"
#include "QDLHttpU.h"
#include "RunProgram.h"
#include "StandInProcess.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <thread>

namespace qdl::test {
namespace {

class StandInProgramTest : public testing::Test {
protected:
    // GetPower against the program, with a read limit short enough for the faults that never end.
    std::string GetPowerFailure(int port) {
        HttpClientOptions options;
        options.ReadTimeout = std::chrono::milliseconds(500);
        HttpClient http(options);
        ReplyList reply;
        return FailureOf([&] {
            if (!GetPower(http, "127.0.0.1", port, "admin", "40617253", reply))
                throw std::runtime_error("no items");
        });
    }
    ProgramResult Qdlctl(int port, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(),
                         {QDLCTL_PATH, "--host", "127.0.0.1", "--port", std::to_string(port)});
        return RunProgram(arguments);
    }

    TempFolder folder;
};

TEST_F(StandInProgramTest, TheStateFileKeepsOutletsAndScheduleAcrossARestart) {
    const std::string stateFile = folder.File("state.json");
    {
        StandInProcess first(QDL_SWITCH_PATH, {"--port", "0", "--state-file", stateFile});
        ASSERT_EQ(Qdlctl(first.Port(), {"on", "2", "4"}).ExitCode, 0);
        ASSERT_EQ(Qdlctl(first.Port(), {"schedule", "set", "3A", "--date", "2026-12-24", "--time", "07:00:00",
                                        "--repeat", "weekend", "--on"})
                      .ExitCode,
                  0);
    }
    StandInProcess second(QDL_SWITCH_PATH, {"--port", "0", "--state-file", stateFile});
    EXPECT_EQ(Qdlctl(second.Port(), {"status"}).Out,
              "outlet  state\n1       OFF\n2       ON\n3       OFF\n4       ON\n");
    EXPECT_NE(Qdlctl(second.Port(), {"schedule"})
                  .Out.find("3A    3       2026-12-24  07:00:00  weekend   096   ON"),
              std::string::npos);
    WriteBytes(stateFile, "{\"outlets\": [true]}");
    const ProgramResult damaged = RunProgram({QDL_SWITCH_PATH, "--state-file", stateFile});
    EXPECT_EQ(damaged.ExitCode, 1);
    EXPECT_EQ(damaged.Err.rfind("qdl-switch: the state file " + stateFile + " is damaged: ", 0), 0u)
        << damaged.Err;
}

// An answered change must survive a restart: one the switch cannot keep fails and is not made.
TEST_F(StandInProgramTest, AChangeItsStateFileCannotKeepFailsAndIsNotMade) {
    std::filesystem::create_directory(folder.File("state"));
    const std::string stateFile = folder.File("state/state.json");
    StandInProcess standIn(QDL_SWITCH_PATH, {"--port", "0", "--state-file", stateFile});
    std::filesystem::permissions(folder.File("state"),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const ProgramResult on = Qdlctl(standIn.Port(), {"on", "2"});
    EXPECT_EQ(on.ExitCode, 1);
    EXPECT_EQ(on.Err, "127.0.0.1:" + std::to_string(standIn.Port()) +
                          " answered with a failure (HTTP/1.1 500 Internal Server Error).\n");
    std::filesystem::permissions(folder.File("state"), std::filesystem::perms::owner_all);
    EXPECT_EQ(Qdlctl(standIn.Port(), {"status"}).Out,
              "outlet  state\n1       OFF\n2       OFF\n3       OFF\n4       OFF\n");
}

struct FaultCase {
    const char* Name;
    std::vector<std::string> Arguments;
    std::string Failure; // what a client's GetPower ends with
    friend void PrintTo(const FaultCase& row, std::ostream* out) { *out << row.Name; }
};

class StandInFaultTest : public StandInProgramTest, public testing::WithParamInterface<FaultCase> {};

TEST_P(StandInFaultTest, AClientSeesTheFault) {
    std::vector<std::string> arguments{"--port", "0"};
    arguments.insert(arguments.end(), GetParam().Arguments.begin(), GetParam().Arguments.end());
    StandInProcess standIn(QDL_SWITCH_PATH, arguments);
    EXPECT_EQ(GetPowerFailure(standIn.Port()), GetParam().Failure);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StandInFaultTest,
    testing::Values(FaultCase{"Auth", {"--fail", "auth"}, "HTTP/1.1 401 Unauthorized"},
                    FaultCase{"ServerError", {"--fail", "500"}, "HTTP/1.1 500 Internal Server Error"},
                    FaultCase{"Hang", {"--fail", "hang"}, "Read Timeout"},
                    FaultCase{"Close", {"--fail", "close"}, "Connection Closed Gracefully."},
                    FaultCase{"SlowerThanTheLimit", {"--fail", "slow:2000"}, "Read Timeout"},
                    FaultCase{"SlowWithinTheLimit", {"--fail", "slow:1"}, "no failure"},
                    FaultCase{"SlowAndThenServerError",
                              {"--fail", "slow:1", "--fail", "500"},
                              "HTTP/1.1 500 Internal Server Error"},
                    FaultCase{"NotYet", {"--fail", "500", "--fail-after", "1"}, "no failure"}),
    [](const testing::TestParamInfo<FaultCase>& info) { return info.param.Name; });

TEST_F(StandInProgramTest, FaultsStartAfterTheRequestsAnsweredProperlyAndListeningStopsWhenAsked) {
    StandInProcess failing(QDL_SWITCH_PATH, {"--port", "0", "--fail", "500", "--fail-after", "2"});
    EXPECT_EQ(GetPowerFailure(failing.Port()), "no failure");
    EXPECT_EQ(GetPowerFailure(failing.Port()), "no failure");
    EXPECT_EQ(GetPowerFailure(failing.Port()), "HTTP/1.1 500 Internal Server Error");
    StandInProcess refusing(QDL_SWITCH_PATH, {"--port", "0", "--refuse-after", "1"});
    EXPECT_EQ(GetPowerFailure(refusing.Port()), "no failure");
    EXPECT_EQ(GetPowerFailure(refusing.Port()), "Socket Error # 10061\nConnection refused.");
}

TEST_F(StandInProgramTest, AStuckOutletMakesACheckedChangeFail) {
    StandInProcess standIn(QDL_SWITCH_PATH, {"--port", "0", "--stuck", "3"});
    const ProgramResult result = Qdlctl(standIn.Port(), {"on", "1", "3"});
    EXPECT_EQ(result.ExitCode, 3);
    EXPECT_EQ(result.Err, "127.0.0.1:" + std::to_string(standIn.Port()) +
                              " does not show what was asked: outlet 3 shows OFF, not ON.\n");
}

TEST_F(StandInProgramTest, StartUpRefusesAPortInUseOrNoPortAndWritesThePortFile) {
    StandInProcess first(QDL_SWITCH_PATH, {"--port", "0", "--port-file", folder.File("port")});
    EXPECT_EQ(ReadBytes(folder.File("port")), std::to_string(first.Port()) + "\n");
    const ProgramResult second = RunProgram({QDL_SWITCH_PATH, "--port", std::to_string(first.Port())});
    EXPECT_EQ(second.ExitCode, 1);
    EXPECT_EQ(second.Err, "qdl-switch: cannot listen on 127.0.0.1:" + std::to_string(first.Port()) +
                              ": Address already in use\n");
    const ProgramResult noPort = RunProgram({QDL_SWITCH_PATH, "--port", "abc"});
    EXPECT_EQ(noPort.ExitCode, 2);
    EXPECT_EQ(noPort.Err, "qdl-switch: --port abc is not an integer from 0 to 65535.\n");
    const ProgramResult failAfter = RunProgram({QDL_SWITCH_PATH, "--fail-after", "3"});
    EXPECT_EQ(failAfter.ExitCode, 2);
    EXPECT_EQ(failAfter.Err, "qdl-switch: --fail-after needs --fail: it says when the faults begin.\n");
    Program ipv6({QDL_SWITCH_PATH, "--address", "::1", "--port", "0"});
    EXPECT_TRUE(ipv6.WaitForOutput("\n"));
    ipv6.Signal(SIGTERM);
    EXPECT_TRUE(std::regex_match(
        ipv6.Finish().Out,
        std::regex(R"(Quadrel 4816 stand-in switch on http://\[::1\]:\d+/ \(user admin\)\n)")));
    const ProgramResult help = RunProgram({QDL_SWITCH_PATH, "--help"});
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Out.find("--refuse-after N"), std::string::npos);
}

// Twenty clients connect at the same moment: none waits past the 1000 ms connect limit.
TEST_F(StandInProgramTest, TwentyParallelClientsAreAllAnswered) {
    StandInProcess standIn(QDL_SWITCH_PATH);
    std::vector<std::string> failures(20);
    std::vector<std::thread> clients;
    for (auto& failure : failures)
        clients.emplace_back([&] { failure = GetPowerFailure(standIn.Port()); });
    for (auto& client : clients)
        client.join();
    EXPECT_EQ(failures, std::vector<std::string>(20, "no failure"));
}

} // namespace
} // namespace qdl::test
