// fence_qdl4816 as a cluster runs it: name=value lines on standard input or options, parsed as
// the fence-agents library parses them, against the scripted and the stand-in switch.
#include "CliFixture.h"
#include "StandInProcess.h"

#include <signal.h>

#include <fstream>
#include <regex>

namespace qdl::test {
namespace {

class FenceAgentTest : public CliTest {
protected:
    // Standard input naming the scripted switch, the action and more lines.
    void Input(const std::string& lines) {
        input = "ip=127.0.0.1\nipport=" + Port() + "\npassword=40617253\n" + lines;
    }
};

struct ParsingCase {
    const char* Name;
    std::string Lines;
    std::string Out;
    std::string Err;
    friend void PrintTo(const ParsingCase& row, std::ostream* out) { *out << row.Name; }
};

class FenceParsingTest : public FenceAgentTest, public testing::WithParamInterface<ParsingCase> {};

TEST_P(FenceParsingTest, StandardInputIsReadAsTheFenceAgentsLibraryReadsIt) {
    device.DefaultAnswer({Reply(P0100)});
    Input(GetParam().Lines);
    const ProgramResult result = Fence({});
    EXPECT_EQ(result.Out, GetParam().Out);
    EXPECT_EQ(result.Err, GetParam().Err);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FenceParsingTest,
    testing::Values(ParsingCase{"QuotesCommentsAndBlankLines",
                                "# from the cluster\n\naction=\"status\"\nplug=\"2\"\n", "Status: ON\n", ""},
                    ParsingCase{"DashesAndOldNames", "action=status\nplug-separator=;\nport=1;2\n",
                                "Status: ON\n", ""},
                    ParsingCase{"ActionInAnyCase", "option=STATUS\nplug=1\n", "Status: OFF\n", ""},
                    ParsingCase{"NodenameSilentlyIgnored", "action=list\nnodename=node2\n",
                                "1,outlet1\n2,outlet2\n3,outlet3\n4,outlet4\n", ""},
                    ParsingCase{"UnknownNamesWarnAndAreIgnored",
                                "action=list-status\nverbose2=1\nno equals sign\nseparator=;\n",
                                "1;outlet1;off\n2;outlet2;on\n3;outlet3;off\n4;outlet4;off\n",
                                "WARNING: Parse error: Ignoring unknown option 'verbose2=1'\n"
                                "WARNING: Parse error: Ignoring unknown option 'no equals sign'\n"},
                    ParsingCase{"QuietSilencesWarnings", "action=monitor\nbogus=1\nquiet=1\n", "", ""}),
    [](const testing::TestParamInfo<ParsingCase>& info) { return info.param.Name; });

// The fencer sends a few hundred bytes: standard input far beyond that is refused once the bound
// is reached, not read whole, and nothing is sent.
TEST_F(FenceAgentTest, StandardInputIsReadWithinItsBounds) {
    std::string lines;
    while (lines.size() < (32u << 20))
        lines += "unknown_option=1\n";
    const struct {
        std::string Input;
        std::string Err;
    } rows[] = {
        {lines, "ERROR: Failed: Standard input holds more than 65536 bytes; the cluster sends a few hundred.\n"},
        {"action=status\nplug=" + std::string(256u << 20, '1') + "\n",
         "ERROR: Failed: Standard input holds more than 65536 bytes; the cluster sends a few hundred.\n"},
        {"action=status\nplug=" + std::string(5000, '1') + "\n",
         "ERROR: Failed: Line 2 of standard input is longer than 4096 bytes.\n"},
    };
    for (const auto& row : rows) {
        input = row.Input;
        const ProgramResult result = Fence({});
        EXPECT_EQ(result.ExitCode, 1);
        EXPECT_EQ(result.Err, row.Err);
    }
    EXPECT_EQ(device.Connections(), 0u);
}

TEST_F(FenceAgentTest, OnTheCommandLineAnUnknownOptionFailsAndAnExtraArgumentWarns) {
    device.DefaultAnswer({Reply(P0100)});
    const ProgramResult unknown = Fence({"-o", "status", "--bogus"});
    EXPECT_EQ(unknown.ExitCode, 1);
    EXPECT_EQ(unknown.Err, "ERROR: Failed: Parse error: unknown option '--bogus'\n");
    const ProgramResult extra =
        Fence({"-o", "status", "-a", "127.0.0.1", "-u", Port(), "-p", "x", "-n", "2", "extra"});
    EXPECT_EQ(extra.ExitCode, 0);
    EXPECT_EQ(extra.Err, "WARNING: Unused argument on command line: 'extra'\n");
}

struct ValidateCase {
    const char* Name;
    std::vector<std::string> Arguments;
    std::string Error; // empty: valid
    friend void PrintTo(const ValidateCase& row, std::ostream* out) { *out << row.Name; }
};

class FenceValidateTest : public FenceAgentTest, public testing::WithParamInterface<ValidateCase> {};

TEST_P(FenceValidateTest, ValidateAllIsStrictAndSendsNothing) {
    std::vector<std::string> arguments{"-o", "validate-all"};
    arguments.insert(arguments.end(), GetParam().Arguments.begin(), GetParam().Arguments.end());
    const ProgramResult result = Fence(arguments);
    EXPECT_EQ(result.ExitCode, GetParam().Error.empty() ? 0 : 1);
    EXPECT_EQ(result.Err, GetParam().Error.empty() ? "" : "ERROR: Failed: " + GetParam().Error + "\n");
    EXPECT_EQ(device.Connections(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FenceValidateTest,
    testing::Values(
        ValidateCase{"Valid", {"-a", "127.0.0.1", "-p", "x", "-n", "3,4"}, ""},
        ValidateCase{"ListNeedsNoPlug", {"-a", "127.0.0.1", "-S", "cat /dev/null"}, ""},
        ValidateCase{
            "NoAddress", {"-p", "x", "-n", "1"}, "You have to enter fence address: give ip (-a, --ip)."},
        ValidateCase{
            "PortNotInteger",
            {"-a", "h", "-u", "8o", "-p", "x", "-n", "1"},
            "The value you have entered for --ipport is not a valid integer from 1 to 65535 ('8o')."},
        ValidateCase{
            "PortTooLarge",
            {"-a", "h", "-u", "65536", "-p", "x", "-n", "1"},
            "The value you have entered for --ipport is not a valid integer from 1 to 65535 ('65536')."},
        ValidateCase{"OutletFive",
                     {"-a", "h", "-p", "x", "-n", "1,5"},
                     "plug '5' is no outlet of the switch: the outlets are 1 to 4."},
        ValidateCase{"NoPassword",
                     {"-a", "h", "-n", "1"},
                     "You have to enter password or password script: give password (-p, --password) or "
                     "password_script "
                     "(-S, --password-script)."},
        ValidateCase{
            "NotSeconds",
            {"-a", "h", "-p", "x", "-n", "1", "--power-timeout", "soon"},
            "The value you have entered for --power-timeout is not a valid time in seconds ('soon')."},
        // the agent's defaults: 5 + 20 + 6 s per attempt, a reboot's ON with retry_on attempts
        ValidateCase{
            "DefaultsFitTheirTimeout", {"-a", "h", "-p", "x", "-n", "1", "--stonith-timeout", "62"}, ""},
        ValidateCase{"ShortPowerTimeoutFits",
                     {"-a", "h", "-p", "x", "-n", "1", "--power-timeout", "3", "--stonith-timeout", "30"},
                     ""},
        ValidateCase{"TimeoutsDisabledFitAnything",
                     {"-a", "h", "-p", "x", "-n", "1", "--disable-timeout", "true", "--stonith-timeout", "1"},
                     ""},
        ValidateCase{"RebootTooLongForItsTimeout",
                     {"-a", "h", "-p", "x", "-n", "1", "--stonith-timeout", "61"},
                     "reboot may take up to 62 s (delay 0 s, then power_wait 5 s + power_timeout 20 s + "
                     "settle 6 s per attempt, retry_on 1), more than stonith_timeout 61 s allows: lower "
                     "power_timeout or raise the cluster's timeout for it."},
        ValidateCase{"DelayCounts",
                     {"-a", "h", "-p", "x", "-n", "1", "--delay", "10", "--stonith-timeout", "40"},
                     "off may take up to 41 s (delay 10 s, then power_wait 5 s + power_timeout 20 s + "
                     "settle 6 s per attempt, retry_on 1), more than stonith_timeout 40 s allows: lower "
                     "power_timeout or raise the cluster's timeout for it."}),
    [](const testing::TestParamInfo<ValidateCase>& info) { return info.param.Name; });

TEST_F(FenceAgentTest, RebootNeedsAPlug) {
    const ProgramResult result = Fence({"-o", "reboot", "-a", "h", "-p", "x"});
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_EQ(result.Err,
              "ERROR: Failed: You have to enter plug number: the action reboot needs plug (-n, --plug), an "
              "outlet from 1 to 4.\n");
}

// A node with two power supplies: both outlets in one write, both confirmed.
TEST_F(FenceAgentTest, SeveralOutletsAreSwitchedInOneWriteAndConfirmedTogether) {
    const std::string P0011 = "<html>P60=0,P61=0,P62=1,P63=1</html>",
                      P0010 = "<html>P60=0,P61=0,P62=1,P63=0</html>";
    for (const auto& body : {P0010, P0010, P0000, P0000, P0000, P0011, P0011})
        device.Reply(Reply(body));
    Input("action=reboot\nport=3,4\npower_wait=0\nsettle=0\n");
    const ProgramResult result = Fence({});
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(result.Out, "Success: Rebooted\n");
    EXPECT_EQ(Commands(), (std::vector<std::string>{
                              "GetPower", "GetPower", "SetPower+P60=0+P61=0+P62=0+P63=0", "GetPower",
                              "GetPower", "SetPower+P60=0+P61=0+P62=1+P63=1", "GetPower"}));
}

// The write's answer claims OFF; the outlet only shows it on the second read after the write.
TEST_F(FenceAgentTest, OffIsConfirmedByAReadThatShowsIt) {
    for (const auto& body : {P0100, P0100, P0000, P0100, P0000})
        device.Reply(Reply(body));
    Input("action=off\nport=2\nstonith_status_sleep=0\npower_wait=0\nsettle=0\n");
    const ProgramResult result = Fence({});
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(result.Out, "Success: Powered OFF\n");
    EXPECT_EQ(device.Connections(), 5u);
}

TEST_F(FenceAgentTest, AnOutletThatStaysOnFailsOnceThePowerTimeoutHasPassed) {
    device.DefaultAnswer({Reply(P0100)});
    Input("action=off\nport=2\nstonith_status_sleep=0.05\npower_timeout=0.2\npower_wait=0\n");
    const ProgramResult result = Fence({});
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_EQ(result.Out, "");
    EXPECT_TRUE(
        std::regex_search(result.Err, std::regex("ERROR: 127\\.0\\.0\\.1:" + Port() +
                                                 " never showed what was asked: outlet 2 shows ON, not "
                                                 "OFF after 1 write, each followed by a power wait of "
                                                 "0\\.0 s and reads for 0\\.2 s\\.\n"
                                                 "ERROR: Failed: Timed out waiting to power OFF\n$")))
        << result.Err;
}

TEST_F(FenceAgentTest, RebootSucceedsOnceOffIsConfirmedAndLogsAnOnThatFails) {
    device.Reply(Reply(P0100));
    device.Reply(Reply(P0100));
    device.Reply(Reply(P0000));
    device.Reply(Reply(P0000));
    device.Reply("HTTP/1.1 500 Broken\r\nContent-Length: 0\r\n\r\n");
    Input("action=reboot\nport=2\npower_wait=0\nsettle=0\n");
    const ProgramResult result = Fence({});
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Out, "Success: Rebooted\n");
    EXPECT_EQ(result.Err, "ERROR: 127.0.0.1:" + Port() +
                              " answered with a failure (HTTP/1.1 500 Broken).\n"
                              "ERROR: Timed out waiting to power ON\n");
}

// A switch that answers at once must not make a reboot a blink: the power supply has to lose power.
TEST_F(FenceAgentTest, ARebootKeepsTheOutletOffForAtLeastThePowerWait) {
    for (const auto& body : {P0100, P0100, P0000, P0000, P0000, P0100, P0100})
        device.Reply(Reply(body));
    Input("action=reboot\nport=2\npower_wait=0.3\nsettle=0\n");
    const ProgramResult result = Fence({});
    EXPECT_EQ(result.Out, "Success: Rebooted\n") << result.Err;
    const auto commands = Commands();
    const auto times = device.RequestTimes();
    ASSERT_EQ(commands.size(), 7u);
    EXPECT_EQ(commands[2], "SetPower+P60=0+P61=0+P62=0+P63=0");
    EXPECT_EQ(commands[5], "SetPower+P60=0+P61=1+P62=0+P63=0");
    EXPECT_GE(times[5] - times[2], std::chrono::milliseconds(300));
}

// The delay holds back off and reboot only: they say so before they contact the switch; the
// other actions never wait for it.
TEST_F(FenceAgentTest, DelayHoldsBackOffAndRebootOnly) {
    device.DefaultAnswer({Reply(P0100)});
    for (const char* action : {"on", "status", "list", "monitor"}) {
        Input(std::string("action=") + action + "\nport=2\ndelay=3600\nsettle=0\n");
        EXPECT_EQ(Fence({}).ExitCode, 0) << action;
    }
    const std::size_t before = device.Connections();
    for (const char* action : {"off", "reboot"}) {
        Program fence({FENCE_PATH, "-o", action, "-a", "127.0.0.1", "-u", Port(), "-p", "x", "-n", "2",
                       "--delay", "3600", "-v"});
        EXPECT_TRUE(fence.WaitForError("DEBUG: Delay 3600 second(s) before logging in to the switch"))
            << action;
        EXPECT_EQ(device.Connections(), before) << action;
    }
}

TEST_F(FenceAgentTest, VerboseLogsEveryExchangeWithThePasswordMasked) {
    device.DefaultAnswer({Reply("<html>P60=0,P61=1,P62=0,P63=0,s3cret</html>")});
    input = "action=status\nip=127.0.0.1\nipport=" + Port() +
            "\npassword=s3cret\nport=2\nverbose=1\ndebug_file=" + File("debug.log") + "\n";
    const ProgramResult result = Fence({});
    EXPECT_EQ(result.Err, "DEBUG: GET /Set.cmd?CMD=GetPower HTTP/1.1\nDEBUG: HTTP/1.1 200 OK\n"
                          "DEBUG: <html>P60=0,P61=1,P62=0,P63=0,********</html>\n");
    EXPECT_EQ(ReadBytes(File("debug.log")), result.Err);
}

TEST_F(FenceAgentTest, MetadataValidatesAndNamesOldParametersAsDeprecated) {
    const ProgramResult metadata = Fence({"-o", "meta-data"});
    ASSERT_EQ(metadata.ExitCode, 0);
    WriteBytes(File("metadata.xml"), metadata.Out);
    const ProgramResult check = RunProgram({"/usr/bin/xmllint", "--noout", "--relaxng",
                                            "/usr/share/cluster/relaxng/metadata.rng", File("metadata.xml")});
    EXPECT_EQ(check.ExitCode, 0) << check.Err;
    for (const char* expected :
         {R"(<parameter name="action" unique="0" required="1">)",
          R"(<parameter name="ip" unique="0" required="1" obsoletes="ipaddr">)",
          R"(<parameter name="ipaddr" unique="0" required="1" deprecated="1">)",
          R"(<parameter name="password_script" unique="0" required="0" obsoletes="passwd_script">)",
          R"(<parameter name="port" unique="0" required="1" deprecated="1">)",
          R"(<action name="list-status" />)"})
        EXPECT_NE(metadata.Out.find(expected), std::string::npos) << expected;
    EXPECT_EQ(metadata.Out.find(R"(default="40617253")"), std::string::npos) << "no factory password";
}

TEST_F(FenceAgentTest, FencesTheStandInSwitchByArgumentsAndStandardInput) {
    StandInProcess standIn{QDL_SWITCH_PATH};
    const std::string port = std::to_string(standIn.Port());
    const std::vector<std::string> at{"-a", "127.0.0.1", "-u",           port, "-p",       "40617253",
                                      "-n", "2",         "--power-wait", "0",  "--settle", "0.1"};
    auto fence = [&](const char* action) {
        std::vector<std::string> arguments{"-o", action};
        arguments.insert(arguments.end(), at.begin(), at.end());
        return Fence(arguments);
    };
    EXPECT_EQ(fence("on").Out, "Success: Powered ON\n");
    EXPECT_EQ(fence("off").Out, "Success: Powered OFF\n");
    EXPECT_EQ(fence("off").Out, "Success: Already OFF\n");
    const ProgramResult off = fence("status");
    EXPECT_EQ(off.ExitCode, 2);
    EXPECT_EQ(off.Out, "Status: OFF\n");
    input = "action=reboot\nipaddr=127.0.0.1\nipport=" + port +
            "\nlogin=admin\npasswd=40617253\nport=2\npower_wait=0.1\nsettle=0.1\n";
    EXPECT_EQ(Fence({}).Out, "Success: Rebooted\n");
    EXPECT_EQ(fence("status").Out, "Status: ON\n");
}

} // namespace
} // namespace qdl::test
