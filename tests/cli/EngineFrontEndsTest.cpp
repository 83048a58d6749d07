// The front ends that engines run: `qdlctl check` as the monitoring engines call a plugin, and
// `qdlctl shell` as PowerMan drives its coprocesses.
#include "CliFixture.h"

#include <signal.h>

#include <algorithm>
#include <regex>

namespace qdl::test {
namespace {

class CheckTest : public CliTest {
protected:
    // The one line of the monitoring-plugins guidelines: status, text, performance data.
    static bool FollowsTheGuidelines(const std::string& line) {
        static const std::string value =
            R"(('[^'=]+'|[^'= ]+)=-?[0-9.]+(s|us|ms|%|B|KB|MB|TB|c)?(;[^; ]*){0,4})";
        static const std::regex grammar("QDL4816 (OK|WARNING|CRITICAL|UNKNOWN) - [^|\n]+( \\| " + value +
                                        "( " + value + ")*)?\n");
        return std::regex_match(line, grammar);
    }
};

struct CheckCase {
    const char* Name;
    std::vector<std::string> Arguments;
    std::vector<std::string> Answers; // what the switch answers GetPower with, raw
    int ExitCode;
    std::string Begins; // the line's beginning
    friend void PrintTo(const CheckCase& row, std::ostream* out) { *out << row.Name; }
};

class CheckRowTest : public CheckTest, public testing::WithParamInterface<CheckCase> {};

TEST_P(CheckRowTest, PrintsOneLineAndExitsWithItsStatus) {
    for (const auto& answer : GetParam().Answers)
        device.Reply(answer);
    const auto& arguments = GetParam().Arguments;
    const bool ownPort = std::find(arguments.begin(), arguments.end(), "-p") != arguments.end();
    const ProgramResult result =
        Qdlctl(With({"check", "-H", "127.0.0.1"}, ownPort ? arguments : With(arguments, {"-p", Port()})));
    EXPECT_EQ(result.ExitCode, GetParam().ExitCode);
    EXPECT_EQ(result.Out.rfind(GetParam().Begins, 0), 0u) << result.Out;
    EXPECT_TRUE(FollowsTheGuidelines(result.Out)) << result.Out;
    EXPECT_EQ(result.Err, "");
}

const std::string Outlets1010 = Reply("<html>P60=1,P61=0,P62=1,P63=0</html>");

INSTANTIATE_TEST_SUITE_P(
    Rows, CheckRowTest,
    testing::Values(
        CheckCase{"Ok", {}, {Outlets1010}, 0, "QDL4816 OK - 127.0.0.1:"},
        CheckCase{"WithinUpperBound", {"-w", "10", "-c", "20"}, {Outlets1010}, 0, "QDL4816 OK"},
        CheckCase{"BelowLowerBound", {"-w", "10:"}, {Outlets1010}, 1, "QDL4816 WARNING - response time"},
        CheckCase{"WithinUpperOnly", {"-w", "~:10"}, {Outlets1010}, 0, "QDL4816 OK"},
        CheckCase{"OutsideBoth", {"-w", "10:20"}, {Outlets1010}, 1, "QDL4816 WARNING"},
        CheckCase{"OutsideInverted", {"-c", "@10:20"}, {Outlets1010}, 0, "QDL4816 OK"},
        CheckCase{"InsideInverted", {"-w", "@0:10", "-c", "@0:10"}, {Outlets1010}, 2, "QDL4816 CRITICAL"},
        CheckCase{"ExpectedStates", {"--expect", "1=on,2=off,4=off"}, {Outlets1010}, 0, "QDL4816 OK"},
        CheckCase{"OutletDiffers",
                  {"--expect", "2=on"},
                  {Outlets1010},
                  2,
                  "QDL4816 CRITICAL - outlet 2 is off, not on;"},
        CheckCase{"Refused", {"-p", "1"}, {}, 2, "QDL4816 CRITICAL - 127.0.0.1:1 refused the connection"},
        CheckCase{"Unauthorized",
                  {},
                  {"HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n"},
                  2,
                  "QDL4816 CRITICAL - 127.0.0.1:"},
        CheckCase{"Unreadable", {}, {Reply("<html></html>")}, 2, "QDL4816 CRITICAL - 127.0.0.1:"},
        CheckCase{"BadRange", {"-w", "10:5"}, {}, 3, "QDL4816 UNKNOWN - --warning '10:5' is no range"},
        CheckCase{"BlankInRange", {"-w", " 5"}, {}, 3, "QDL4816 UNKNOWN - --warning ' 5' is no range"},
        // one rule for numbers: decimals with an exponent; too small to tell from 0 is 0
        CheckCase{"ExponentRange", {"-w", "5e-1:1e1"}, {Outlets1010}, 1, "QDL4816 WARNING - response time"},
        CheckCase{"UnderflowIsZero", {"-w", "1e-400:"}, {Outlets1010}, 0, "QDL4816 OK"},
        CheckCase{
            "OverflowRefused", {"-w", "1e400"}, {}, 3, "QDL4816 UNKNOWN - --warning '1e400' is no range"},
        CheckCase{"HexRefused", {"-w", "0x10"}, {}, 3, "QDL4816 UNKNOWN - --warning '0x10' is no range"},
        CheckCase{"InfinityRefused", {"-w", "inf"}, {}, 3, "QDL4816 UNKNOWN - --warning 'inf' is no range"},
        CheckCase{"PortNotWhole", {"-p", "80 "}, {}, 3, "QDL4816 UNKNOWN - --port '80 ' is not a TCP port"},
        CheckCase{"BadExpect", {"--expect", "5=on"}, {}, 3, "QDL4816 UNKNOWN - --expect '5=on'"},
        CheckCase{"UnknownOption", {"--bogus"}, {}, 3, "QDL4816 UNKNOWN - '--bogus' is not an option"}),
    [](const testing::TestParamInfo<CheckCase>& info) { return info.param.Name; });

TEST_F(CheckTest, PerformanceDataCarriesTimeThresholdsAndOutlets) {
    device.Reply(Outlets1010);
    const ProgramResult result = Qdlctl(At({"check", "-w", "1", "-c", "2"}));
    const std::string data = result.Out.substr(result.Out.find(" | ") + 3);
    EXPECT_TRUE(
        std::regex_match(data, std::regex(R"(time=[0-9.]+s;1;2;0; outlets_on=2;;;0;4 outlet1=1;;;0;1 )"
                                          R"(outlet2=0;;;0;1 outlet3=1;;;0;1 outlet4=0;;;0;1\n)")))
        << data;
    EXPECT_EQ(Commands(), std::vector<std::string>{"GetPower"});
}

TEST_F(CheckTest, BadArgumentsContactNothing) {
    EXPECT_EQ(Qdlctl(At({"check", "-c", "x"})).ExitCode, 3);
    EXPECT_EQ(Qdlctl({"check"}).ExitCode, 3) << "no switch named";
    EXPECT_EQ(device.Connections(), 0u);
}

// As the monitoring plugins do: help is UNKNOWN, a line nobody can read is no OK, and an engine's
// SIGTERM still gets its one line.
TEST_F(CheckTest, HelpAnUnwritableLineAndAStopAreUnknown) {
    const ProgramResult help = Qdlctl({"check", "--help"});
    EXPECT_EQ(help.ExitCode, 3);
    std::filesystem::create_symlink(QDLCTL_PATH, File("check_qdl4816"));
    const ProgramResult plugin = Run(File("check_qdl4816"), {"--help"});
    EXPECT_EQ(plugin.ExitCode, 3);
    EXPECT_NE(plugin.Out.find("Usage: check_qdl4816 -H ADDRESS"), std::string::npos) << plugin.Out;

    device.Reply(Outlets1010);
    const ProgramResult full = RunProgram(
        {"/bin/sh", "-c", std::string(QDLCTL_PATH) + " check -H 127.0.0.1 -p " + Port() + " >/dev/full"});
    EXPECT_EQ(full.ExitCode, 3);

    ScriptedSwitch::Answer silent{Outlets1010};
    silent.Delay = std::chrono::hours(1);
    device.Script(silent);
    Program check({File("check_qdl4816"), "-H", "127.0.0.1", "-p", Port()});
    device.WaitForConnections(2);
    check.Signal(SIGTERM);
    const ProgramResult stopped = check.Finish();
    EXPECT_EQ(stopped.ExitCode, 3);
    EXPECT_EQ(stopped.Out,
              "QDL4816 UNKNOWN - Stopped by a signal before 127.0.0.1:" + Port() + " was checked\n");
    EXPECT_TRUE(FollowsTheGuidelines(stopped.Out));
}

class ShellTest : public CliTest {};

// One command a line, each answered in full before the next is read, whatever the switch says.
TEST_F(ShellTest, AnswersEachLineWithItsResultOkOrAnError) {
    device.Reply(Reply("<html>P60=1,P61=0,P62=1,P63=0</html>"));
    for (const char* body : {"<html>P60=1,P61=0,P62=1,P63=0</html>", "<html>P60=1,P61=1,P62=1,P63=0</html>",
                             "<html>P60=1,P61=1,P62=1,P63=0</html>"})
        device.Reply(Reply(body));
    device.Reply("HTTP/1.1 500 Broken\r\nContent-Length: 0\r\n\r\n");
    input = "status\non 2\n\nstatus 9\noff *\nfrob 1\nquit\nstatus\n";
    const ProgramResult result = Qdlctl(At({"shell"}));
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Out,
              "qdlctl> 1: on\n2: off\n3: on\n4: off\nOK\n"
              "qdlctl> OK\n"
              "qdlctl> qdlctl> ERROR: '9' is no outlet: name 1 to 4, or * for all four.\n"
              "qdlctl> ERROR: 127.0.0.1:" +
                  Port() +
                  " answered with a failure (HTTP/1.1 500 Broken).\n"
                  "qdlctl> ERROR: 'frob' is no command: the commands are status [N], on N, off N, "
                  "cycle N (N: 1 to 4, or * for all), quit.\n"
                  "qdlctl> ");
    EXPECT_EQ(Commands(),
              (std::vector<std::string>{"GetPower", "GetPower", "SetPower+P60=1+P61=1+P62=1+P63=0",
                                        "GetPower", "GetPower"}));
}

// Whatever a peer sends, a line is bounded; the last one counts without its line end.
TEST_F(ShellTest, ALineTooLongIsRefusedWithoutEchoingIt) {
    device.DefaultAnswer({Reply(P0100)});
    input = std::string(5000, 'x') + "\nstatus 2";
    const ProgramResult result = Qdlctl(At({"shell"}));
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Out, "qdlctl> ERROR: line too long: a command is at most 4096 bytes.\n"
                          "qdlctl> 2: on\nOK\nqdlctl> ");
}

// A control byte a peer sends is echoed escaped, never raw and never cutting the word short.
TEST_F(ShellTest, ControlBytesInEchoedTextsAreEscaped) {
    input = std::string("on\0"
                        "1\noff \x7f\x1b[2J\nstatus 1 x\x01y\n",
                        28);
    const ProgramResult result = Qdlctl(At({"shell"}));
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Out,
              "qdlctl> ERROR: 'on\\x001' is no command: the commands are status [N], on N, off N, "
              "cycle N (N: 1 to 4, or * for all), quit.\n"
              "qdlctl> ERROR: '\\x7F\\x1B[2J' is no outlet: name 1 to 4, or * for all four.\n"
              "qdlctl> ERROR: 'x\\x01y' is more than status takes.\n"
              "qdlctl> ");
    EXPECT_EQ(device.Connections(), 0u);
}

TEST_F(ShellTest, EndOfInputEndsTheShell) {
    input = "";
    const ProgramResult result = Qdlctl(At({"shell"}));
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Out, "qdlctl> ");
    EXPECT_EQ(device.Connections(), 0u);
}

} // namespace
} // namespace qdl::test
