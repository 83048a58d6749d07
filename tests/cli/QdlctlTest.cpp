// qdlctl as scripts run it: real processes against the scripted switch, where the exact requests
// or a failure matter, and against the stand-in switch program.
#include "CliFixture.h"
#include "StandInProcess.h"
#include "SwitchLock.h"
#include "TextUtil.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <thread>
#include <tuple>

namespace qdl::test {
namespace {

using Then = ScriptedSwitch::Then;
using nlohmann::json;

class QdlctlTest : public CliTest {};

struct RequestsCase {
    const char* Name;
    std::vector<std::string> Arguments;
    std::vector<std::string> Bodies; // what the switch answers, one command after another
    std::vector<std::string> Commands;
    friend void PrintTo(const RequestsCase& row, std::ostream* out) { *out << row.Name; }
};

class QdlctlRequestsTest : public QdlctlTest, public testing::WithParamInterface<RequestsCase> {};

// Every change reads, writes and then reads again: the write's own answer proves nothing.
TEST_P(QdlctlRequestsTest, SendsExactlyTheseCommands) {
    for (const auto& body : GetParam().Bodies)
        device.Reply(Reply(body));
    const ProgramResult result = Qdlctl(At(GetParam().Arguments));
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(Commands(), GetParam().Commands);
}

const std::string Entry3B = "<html>2026-12-24,18:30:00-096-1</html>",
                  Entry1A = "<html>2006-11-27,08:05:05-128-1</html>",
                  Cleared1A = "<html>2006-11-27,08:05:05-000-1</html>";

INSTANTIATE_TEST_SUITE_P(
    Rows, QdlctlRequestsTest,
    testing::Values(
        RequestsCase{"Status", {"status"}, {P1001}, {"GetPower"}},
        RequestsCase{"On",
                     {"on", "2"},
                     {P1001, P1111, P1111},
                     {"GetPower", "SetPower+P60=1+P61=1+P62=0+P63=1", "GetPower"}},
        RequestsCase{"Off",
                     {"off", "1", "4"},
                     {P1001, P0000, P0000},
                     {"GetPower", "SetPower+P60=0+P61=0+P62=0+P63=0", "GetPower"}},
        // Another host undid the change at the first read of the window: written again, then held.
        RequestsCase{"OnSettled",
                     {"on", "2", "--settle", "0.2"},
                     {P0000, P0100, P0100, P0000, P0000, P0100, P0100, P0100},
                     {"GetPower", "SetPower+P60=0+P61=1+P62=0+P63=0", "GetPower", "GetPower", "GetPower",
                      "SetPower+P60=0+P61=1+P62=0+P63=0", "GetPower", "GetPower"}},
        RequestsCase{"Toggle",
                     {"toggle", "2"},
                     {P0000, P0100, P0100},
                     {"GetPower", "SetPower+P60=0+P61=1+P62=0+P63=0", "GetPower"}},
        RequestsCase{"AllOn",
                     {"all", "on"},
                     {"<html>OK</html>", P1111},
                     {"SetPower+P60=1+P61=1+P62=1+P63=1", "GetPower"}},
        RequestsCase{"Cycle",
                     {"cycle", "2", "--off-time", "0"},
                     {P0100, P0000, P0000, P0000, P0100, P0100},
                     {"GetPower", "SetPower+P60=0+P61=0+P62=0+P63=0", "GetPower", "GetPower",
                      "SetPower+P60=0+P61=1+P62=0+P63=0", "GetPower"}},
        RequestsCase{"ScheduleSet",
                     {"schedule", "set", "3B", "--date", "2026-12-24", "--time", "18:30:00", "--repeat",
                      "weekend", "--on"},
                     {Entry3B, Entry3B},
                     {"SetSchedule+Power=3B+YY=2026+MM=12+DD=24+HH=18+MN=30+SS=00+PARAM=096+ONOFF=1",
                      "GetSchedule+Power=3B"}},
        RequestsCase{"ScheduleClear",
                     {"schedule", "clear", "1A"},
                     {Entry1A, Cleared1A, Cleared1A},
                     {"GetSchedule+Power=1A",
                      "SetSchedule+Power=1A+YY=2006+MM=11+DD=27+HH=08+MN=05+SS=05+PARAM=000+ONOFF=1",
                      "GetSchedule+Power=1A"}}),
    [](const testing::TestParamInfo<RequestsCase>& info) { return info.param.Name; });

TEST_F(QdlctlTest, AWriteWhoseAnswerClaimsSuccessIsCheckedByAFreshRead) {
    device.Reply(Reply(P0000));
    device.Reply(Reply("<html>P60=1,P61=0,P62=0,P63=0</html>")); // claims ON ...
    device.Reply(Reply(P0000));                                  // ... but shows OFF
    const ProgramResult result = Qdlctl(At({"--json", "on", "1"}));
    EXPECT_EQ(result.ExitCode, 3);
    EXPECT_EQ(json::parse(result.Err)["error"]["message"],
              "127.0.0.1:" + Port() + " does not show what was asked: outlet 1 shows OFF, not ON.");
    EXPECT_EQ(json::parse(result.Out),
              json::parse(R"({"outlets":[{"outlet":1,"on":false},{"outlet":2,"on":false},
                                                               {"outlet":3,"on":false},{"outlet":4,"on":false}]})"));
}

struct KindCase {
    const char* Name;
    std::vector<std::string> Arguments;
    std::vector<ScriptedSwitch::Answer> Answers;
    const char* Kind;
    int ExitCode;
    std::string Message; // "@" stands for the scripted switch's host:port
    friend void PrintTo(const KindCase& row, std::ostream* out) { *out << row.Name; }
};

class QdlctlKindTest : public QdlctlTest, public testing::WithParamInterface<KindCase> {};

TEST_P(QdlctlKindTest, FailuresAreEnglishAndNameTheirKindAndTheSwitch) {
    for (const auto& answer : GetParam().Answers)
        device.Script(answer);
    std::vector<std::string> arguments = GetParam().Arguments;
    if (std::find(arguments.begin(), arguments.end(), "--host") == arguments.end())
        arguments = At(arguments);
    arguments.push_back("--json");
    const ProgramResult result = Qdlctl(arguments);
    EXPECT_EQ(result.ExitCode, GetParam().ExitCode);
    const json error = json::parse(result.Err)["error"];
    EXPECT_EQ(error["kind"], GetParam().Kind);
    std::string message = GetParam().Message;
    if (message.empty())
        return;
    if (const auto at = message.find('@'); at != std::string::npos)
        message.replace(at, 1, "127.0.0.1:" + Port());
    EXPECT_EQ(error["message"], message);
}

ScriptedSwitch::Answer Answer(const std::string& bytes) {
    return {bytes};
}

INSTANTIATE_TEST_SUITE_P(
    Rows, QdlctlKindTest,
    testing::Values(
        KindCase{"Refused",
                 {"status", "--host", "127.0.0.1", "--port", "1"},
                 {},
                 "refused",
                 1,
                 "127.0.0.1:1 refused the connection (socket error 10061)."},
        KindCase{"NoHostName",
                 {"status", "--host", "no host"},
                 {},
                 "unreachable",
                 1,
                 "The address 'no host' cannot be resolved: Host not found (socket error 11001)."},
        KindCase{"Auth",
                 {"status"},
                 {Answer("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n")},
                 "auth",
                 1,
                 "@ refused the user name or password (HTTP/1.1 401 Unauthorized)."},
        KindCase{"Http",
                 {"status"},
                 {Answer("HTTP/1.1 500 Broken\r\nContent-Length: 0\r\n\r\n")},
                 "http",
                 1,
                 "@ answered with a failure (HTTP/1.1 500 Broken)."},
        KindCase{"Empty",
                 {"status"},
                 {Answer(Reply("<html></html>"))},
                 "protocol",
                 1,
                 "@ answered GetPower without any outlet states."},
        KindCase{"Closed",
                 {"status"},
                 {Answer("")},
                 "protocol",
                 1,
                 "@ sent a reply that cannot be read: Connection Closed Gracefully."},
        KindCase{"Silent",
                 {"status", "--timeout", "1"},
                 {{"", Then::Hold}},
                 "timeout",
                 1,
                 "@ did not send its whole reply within 1 s."},
        KindCase{"CycleLeftOff",
                 {"cycle", "2", "--off-time", "0"},
                 {Answer(Reply(P0100)), Answer(Reply(P0000)), Answer(Reply(P0000)),
                  Answer("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n")},
                 "auth",
                 1,
                 "Outlet 2 was left OFF: @ refused the user name or password (HTTP/1.1 401 Unauthorized)."},
        KindCase{"Usage", {"on", "5"}, {}, "usage", 2, "'5' is not an outlet: the outlets are 1 to 4."},
        KindCase{"Config", {"status", "--config", "none.ini"}, {}, "config", 2, ""}),
    [](const testing::TestParamInfo<KindCase>& info) { return info.param.Name; });

struct UsageCase {
    const char* Name;
    std::vector<std::string> Arguments;
    std::string Message;
    friend void PrintTo(const UsageCase& row, std::ostream* out) { *out << row.Name; }
};

class QdlctlUsageTest : public QdlctlTest, public testing::WithParamInterface<UsageCase> {};

TEST_P(QdlctlUsageTest, Exits2InTheProjectsWordsWithoutContactingTheSwitch) {
    const ProgramResult result = Qdlctl(At(GetParam().Arguments));
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_EQ(result.Err, GetParam().Message + "\n");
    EXPECT_EQ(device.Connections(), 0u);
}

const std::vector<std::string> SetSlot1A{"schedule", "set", "1A", "--repeat", "once", "--on"};

INSTANTIATE_TEST_SUITE_P(
    Rows, QdlctlUsageTest,
    testing::Values(
        UsageCase{"NoOutlets", {"on"}, "on needs the outlets to switch, 1 to 4, as in: qdlctl on 2"},
        UsageCase{"OutletAll",
                  {"off", "all"},
                  "'all' is not an outlet: the outlets are 1 to 4 (for all four: qdlctl all on|off)."},
        UsageCase{"OutletTwice", {"on", "1", "1"}, "Outlet 1 is named twice: name each outlet once."},
        UsageCase{
            "OutletNameNotUtf8",
            {"metrics", "--outlet-name",
             "3=bad\xff"
             "byte"},
            "--outlet-name 'bad\\xFFbyte' is not valid UTF-8: Prometheus takes only UTF-8 label values."},
        UsageCase{"SwitchNameNotUtf8",
                  {"metrics", "--switch-name", "r\xc3("},
                  "--switch-name 'r\\xC3(' is not valid UTF-8: Prometheus takes only UTF-8 label values."},
        UsageCase{
            "SettingTwice", {"set", "1=on", "1=off"}, "Outlet 1 is named twice: name each outlet once."},
        UsageCase{"BadSetting",
                  {"set", "2=maybe"},
                  "'2=maybe' is not an outlet setting: write OUTLET=on or OUTLET=off, as in 2=on."},
        UsageCase{"OffTime",
                  {"cycle", "1", "--off-time", "abc"},
                  "--off-time 'abc' is not a number of seconds from 0 to 3600."},
        UsageCase{"HostTwice",
                  {"status", "--host", "h2"},
                  "--host is given 2 times ('h2' and '127.0.0.1'): give it once."},
        UsageCase{"SlotFiveC",
                  {"schedule", "clear", "5C"},
                  "There is no slot '5C': the slots are 1A, 1B, 2A, 2B, 3A, 3B, 4A and 4B."},
        UsageCase{"NoSuchDay", With(SetSlot1A, {"--date", "2026-02-30", "--time", "08:00:00"}),
                  "'2026-02-30' is not a date: write it as YYYY-MM-DD, a day that exists."},
        UsageCase{"OnAndOff",
                  {"schedule", "set", "1A", "--date", "2026-02-28", "--time", "08:00:00", "--repeat", "once",
                   "--on", "--off"},
                  "schedule set needs one of --on or --off."},
        UsageCase{"EmptyPasswordFile",
                  {"status", "--password-file", "/dev/null"},
                  "The password file /dev/null is empty or its first line is blank."},
        UsageCase{"TimeoutTooLong",
                  {"status", "--timeout", "31"},
                  "--timeout '31' is not a whole number of seconds from 1 to 30."},
        UsageCase{"TimeoutNotWhole",
                  {"status", "--timeout", "1.5"},
                  "--timeout '1.5' is not a whole number of seconds from 1 to 30."},
        UsageCase{"UnknownOption",
                  {"status", "--bogus"},
                  "'--bogus' is not an option of qdlctl status: see qdlctl status --help."},
        UsageCase{"UnknownCommand", {"reboot"}, "'reboot' is not a command of qdlctl: see qdlctl --help."}),
    [](const testing::TestParamInfo<UsageCase>& info) { return info.param.Name; });

// A mistyped port never reaches port 80, where a change would land on another switch.
TEST_F(QdlctlTest, APortThatIsNoWholeNumberFrom1To65535OrAMissingValueIsAUsageError) {
    for (const char* port : {"99999", "8O80", "abc", "43421 ", "$50", "0"}) {
        const ProgramResult result = Qdlctl({"on", "1", "--host", "127.0.0.1", "--port", port});
        EXPECT_EQ(result.ExitCode, 2) << port;
        EXPECT_EQ(result.Err,
                  std::string("--port '") + port +
                      "' is not a TCP port: give a whole number from 1 to 65535. Nothing was sent.\n");
    }
    const ProgramResult missing = Qdlctl({"status", "--host", "127.0.0.1", "--timeout"});
    EXPECT_EQ(missing.ExitCode, 2);
    EXPECT_EQ(missing.Err, "--timeout needs a value: see qdlctl status --help.\n");
}

// Each row must stop before anything is sent: a settings file that points at the scripted
// switch proves it for the rows that have one.
TEST_F(QdlctlTest, WithoutANamedSwitchNothingIsSent) {
    const std::string port = Port();
    WriteBytes(File("QDL4816.ini"), "[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=" + port + "\r\n");
    WriteBytes(File("noaddress.ini"), "[QDL4816]\r\nPort=" + port + "\r\n");
    const std::string base = folder.Path().string();
    struct Row {
        std::vector<std::string> Arguments;
        std::string Message;
    };
    const std::vector<Row> rows{
        {{"status", "--config", "none.ini"}, "The settings file " + base + "/none.ini does not exist."},
        {{"status", "--section", "nosuch"},
         "The settings file " + base + "/QDL4816.ini has no section [nosuch]. Nothing was sent."},
        {{"status", "--config", "noaddress.ini"},
         "The section [QDL4816] of the settings file " + base +
             "/noaddress.ini has no IPV4 key naming the switch. "
             "Nothing was sent."},
    };
    for (const auto& row : rows) {
        const ProgramResult result = Qdlctl(row.Arguments);
        EXPECT_EQ(result.ExitCode, 2);
        EXPECT_EQ(result.Err, row.Message + "\n");
    }
    std::filesystem::remove(File("QDL4816.ini"));
    const ProgramResult none = Qdlctl({"on", "1"});
    EXPECT_EQ(none.ExitCode, 2);
    EXPECT_EQ(none.Err.rfind("No switch is named: give --host, or a settings file", 0), 0u) << none.Err;
    EXPECT_EQ(device.Connections(), 0u);
}

TEST_F(QdlctlTest, SettingsAreFoundHereThenInTheUsersFolderAndAByteOrderMarkIsSkipped) {
    device.DefaultAnswer({Reply(P1001)});
    std::filesystem::create_directories(File(".config/quadrel4816"));
    WriteBytes(File(".config/quadrel4816/QDL4816.ini"),
               "\xEF\xBB\xBF[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=" + Port() + "\r\nPass=home\r\n");
    EXPECT_EQ(Qdlctl({"status"}).ExitCode, 0);
    WriteBytes(File("QDL4816.ini"), "[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=" + Port() + "\r\nPass=here\r\n");
    EXPECT_EQ(Qdlctl({"status"}).ExitCode, 0);
    EXPECT_EQ(device.Requests(), (std::vector<std::string>{Request("GetPower", "YWRtaW46aG9tZQ=="),
                                                           Request("GetPower", "YWRtaW46aGVyZQ==")}));
}

// The window's settings file as editors save it: UTF-16 with its mark is read as the text it is;
// one that is no text the program reads is a settings error that names the file and why.
TEST_F(QdlctlTest, SettingsFilesInUtf16AreReadAndUnreadableOnesNamed) {
    device.DefaultAnswer({Reply(P1001)});
    const auto utf16 = [](const std::string& ascii, bool littleEndian) {
        std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
        for (char c : ascii)
            bytes += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
        return bytes;
    };
    const std::string text = "[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=" + Port() + "\r\nPass=utf16\r\n";
    WriteBytes(File("QDL4816.ini"), utf16(text, true));
    const ProgramResult read = Qdlctl({"status"});
    EXPECT_EQ(read.ExitCode, 0) << read.Err;
    EXPECT_EQ(device.Requests(), std::vector<std::string>{Request("GetPower", "YWRtaW46dXRmMTY=")});
    WriteBytes(File("QDL4816.ini"), utf16(text, false));
    const ProgramResult unreadable = Qdlctl({"status"});
    EXPECT_EQ(unreadable.ExitCode, 2);
    EXPECT_EQ(unreadable.Err,
              "The settings file " + File("QDL4816.ini") +
                  " cannot be read: it is UTF-16 big-endian text, which this program does not "
                  "read.\n");
    EXPECT_EQ(device.Connections(), 1u);
}

TEST_F(QdlctlTest, ThePasswordComesFromFileThenOptionThenEnvironmentThenSettings) {
    device.DefaultAnswer({Reply(P1001)});
    WriteBytes(File("QDL4816.ini"), "[QDL4816]\r\nIPV4=127.0.0.1\r\nPort=" + Port() + "\r\nPass=ini\r\n");
    WriteBytes(File("pw"), "from-file\nsecond line\n");
    Qdlctl({"status", "--password", "opt", "--password-file", File("pw")}, {{"QDL4816_PASSWORD", "env"}});
    Qdlctl({"status", "--password", "opt"}, {{"QDL4816_PASSWORD", "env"}});
    Qdlctl({"status"}, {{"QDL4816_PASSWORD", "env"}});
    Qdlctl({"status"}, {{"QDL4816_PASSWORD", ""}});
    EXPECT_EQ(device.Requests(), (std::vector<std::string>{Request("GetPower", "YWRtaW46ZnJvbS1maWxl"),
                                                           Request("GetPower", "YWRtaW46b3B0"),
                                                           Request("GetPower", "YWRtaW46ZW52"),
                                                           Request("GetPower", "YWRtaW46aW5p")}));
}

// Another change to the same switch holds its lock: this one waits, gives up and sends nothing.
TEST_F(QdlctlTest, AChangeWaitsForTheSwitchsLockAndGivesUpWithinItsTimeout) {
    control::SwitchTarget target;
    target.Host = "127.0.0.1";
    target.Port = device.Port();
    const control::SwitchLock held(target);
    const ProgramResult result = Qdlctl(At({"on", "1", "--timeout", "1"}));
    EXPECT_EQ(result.ExitCode, 1);
    // The holder is named, so that the user sees who keeps the switch busy.
    EXPECT_TRUE(
        std::regex_match(result.Err, std::regex("Another change to 127\\.0\\.0\\.1:" + Port() +
                                                " \\(by cli_tests, process " + std::to_string(getpid()) +
                                                ", since [0-9-]+ [0-9:]+\\) did not end within 1000 "
                                                "ms; nothing was sent\\.\n")))
        << result.Err;
    EXPECT_EQ(device.Connections(), 0u);
}

// The first Ctrl-C of a cycle cuts its off time short: the outlet is switched on again, checked,
// and the program says so.
TEST_F(QdlctlTest, ACycleStoppedBySigintSwitchesTheOutletOnAgain) {
    device.Reply(Reply(P0100));
    device.Reply(Reply(P0000));
    device.Reply(Reply(P0000));
    device.DefaultAnswer({Reply(P0100)});
    Program cycle({QDLCTL_PATH, "cycle", "2", "--off-time", "3600", "--host", "127.0.0.1", "--port", Port()},
                  {{"HOME", folder.Path().string()}});
    device.WaitForConnections(3); // off, and confirmed
    cycle.Signal(SIGINT);
    const ProgramResult result = cycle.Finish();
    EXPECT_EQ(result.ExitCode, 130);
    EXPECT_EQ(result.Out, "outlet 2: ON\n");
    EXPECT_EQ(result.Err,
              "Stopped by SIGINT: the off time was cut short and outlet 2 switched on again; the switch "
              "shows what is printed.\n");
    EXPECT_EQ(Commands().at(4), "SetPower+P60=0+P61=1+P62=0+P63=0");
}

// A settings file's password never goes to a switch the file does not name.
TEST_F(QdlctlTest, AnotherSwitchGetsNoneOfTheSettingsFilesCredentials) {
    device.DefaultAnswer({Reply(P1001)});
    WriteBytes(File("QDL4816.ini"), "[QDL4816]\r\nIPV4=127.0.0.5\r\nUserName=ops\r\nPass=secret\r\n");
    EXPECT_EQ(Qdlctl(At({"status"})).ExitCode, 0);
    EXPECT_EQ(Qdlctl(At({"status", "--password", "pw"})).ExitCode, 0);
    const auto requests = device.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0],
              "GET /Set.cmd?CMD=GetPower HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/html, */*\r\n"
              "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n");
    EXPECT_EQ(requests[1], Request("GetPower", "YWRtaW46cHc=")) << "admin:pw";
    device.Reply("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(Qdlctl(At({"status"})).Err,
              "127.0.0.1:" + Port() +
                  " asks for a user name and password (HTTP/1.1 401 Unauthorized); none were sent, since the "
                  "settings file names another switch: give --user and --password.\n");
}

// One failed nightly export must not cost the last good one.
TEST_F(QdlctlTest, AFailedExportLeavesTheOldFileAsItWas) {
    WriteBytes(File("backup.json"), "the last good export\n");
    device.Reply(Reply("<html>2006-11-27,08:05:05-000-0</html>"));
    device.Reply("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n");
    const ProgramResult refused = Qdlctl(
        {"schedule", "export", "backup.json", "--host", "127.0.0.1", "--port", std::to_string(ClosedPort())});
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_EQ(Qdlctl(At({"schedule", "export", "backup.json"})).ExitCode, 1);
    EXPECT_EQ(ReadBytes(File("backup.json")), "the last good export\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1)
        << "no file left over";
}

// The lock folder is shared by every user: what another put at the lock path fails the change at
// once, within the time limit, instead of hanging it.
TEST_F(QdlctlTest, AFifoAtTheLockPathFailsTheChangeAtOnce) {
    const std::string path = "/run/lock/qdl4816-127.0.0.1-" + Port() + ".lock";
    if (::access("/run/lock", W_OK) != 0)
        GTEST_SKIP() << "/run/lock cannot be written here";
    // An earlier run on the same port left its lock file there.
    ::unlink(path.c_str());
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    const ProgramResult result = Qdlctl(At({"on", "1", "--timeout", "1"}));
    ::unlink(path.c_str());
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_EQ(result.Err, "The lock file " + path +
                              " is a FIFO, not a regular file; remove it. Nothing was sent "
                              "to 127.0.0.1:" +
                              Port() + ".\n");
    EXPECT_EQ(device.Connections(), 0u);
}

// Ctrl-C while the outlets are still being read: nothing was switched, and nothing will be.
TEST_F(QdlctlTest, ASignalBeforeTheFirstWriteStopsWithNothingSwitched) {
    ScriptedSwitch::Answer slow{Reply(P0100)};
    slow.Delay = std::chrono::hours(1);
    device.Script(slow);
    Program cycle({QDLCTL_PATH, "cycle", "2", "--host", "127.0.0.1", "--port", Port()},
                  {{"HOME", folder.Path().string()}});
    device.WaitForConnections(1);
    cycle.Signal(SIGINT);
    const ProgramResult result = cycle.Finish();
    EXPECT_EQ(result.ExitCode, 130);
    EXPECT_EQ(result.Err, "Stopped by a signal; nothing was changed on 127.0.0.1:" + Port() + ".\n");
    EXPECT_EQ(Commands(), std::vector<std::string>{"GetPower"});
}

// A second signal while an import writes: what it left behind shows in qdlctl schedule.
TEST_F(QdlctlTest, ASecondSignalDuringAnImportPointsAtTheSchedule) {
    std::string entries;
    for (const char* slot : {"1A", "1B", "2A", "2B", "3A", "3B", "4A", "4B"})
        entries +=
            Format(R"(%s{"slot":"%s","date":"2026-12-24","time":"18:30:00","repeat":"once","on":true})",
                   entries.empty() ? "" : ",", slot);
    WriteBytes(File("s.json"), "{\"entries\":[" + entries + "]}");
    ScriptedSwitch::Answer slow{Reply("<html>2026-12-24,18:30:00-128-1</html>")};
    slow.Delay = std::chrono::hours(1);
    device.Script(slow);
    Program import({QDLCTL_PATH, "schedule", "import", "s.json", "--host", "127.0.0.1", "--port", Port()},
                   {{"HOME", folder.Path().string()}}, folder.Path().string());
    device.WaitForConnections(1);
    // Two different signals: two of the same may arrive as one.
    import.Signal(SIGINT);
    import.Signal(SIGTERM);
    const ProgramResult result = import.Finish();
    EXPECT_TRUE(result.ExitCode == 128 + SIGTERM || result.ExitCode == 128 + SIGINT) << result.ExitCode;
    EXPECT_EQ(result.Err, "Stopped at once by a second signal: the schedule may be written only in part on "
                          "127.0.0.1:" +
                              Port() + "; check it with qdlctl schedule.\n");
}

// What is not a regular file is written as it is: replacing it would turn a device node into a
// file, and leave a FIFO's reader with nothing. "-" is standard output, and an import reads "-".
TEST_F(QdlctlTest, ExportWritesDevicesFifosAndStandardOutputInPlace) {
    const std::string entry = "<html>2006-11-27,08:05:05-000-0</html>";
    device.DefaultAnswer({Reply(entry)});
    const ProgramResult reference = Qdlctl(At({"schedule", "export"}));
    ASSERT_EQ(reference.ExitCode, 0) << reference.Err;
    ASSERT_NE(reference.Out.find("\"slot\": \"4B\""), std::string::npos) << reference.Out;
    for (const char* name : {"-", "/dev/stdout"}) {
        const ProgramResult result = Qdlctl(At({"schedule", "export", name}));
        EXPECT_EQ(result.ExitCode, 0) << name << ": " << result.Err;
        EXPECT_EQ(result.Out, reference.Out) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(File("-")));

    input = reference.Out;
    const ProgramResult imported = Qdlctl(At({"schedule", "import", "-"}));
    EXPECT_EQ(imported.ExitCode, 0) << imported.Err;
    input = "{\"entries\": [}";
    const ProgramResult notJson = Qdlctl(At({"schedule", "import", "-"}));
    EXPECT_EQ(notJson.ExitCode, 2);
    EXPECT_EQ(notJson.Err.rfind("The schedule file on standard input is not JSON: line 1, column 14", 0), 0u)
        << notJson.Err;
    input.clear();

    // A FIFO held open for reading by the test, so that the export finds its reader.
    const std::string fifo = File("export.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const ProgramResult toFifo = Qdlctl(At({"schedule", "export", fifo}));
    EXPECT_EQ(toFifo.ExitCode, 0) << toFifo.Err;
    std::string got(65536, '\0');
    const ssize_t count = ::read(reader, got.data(), got.size());
    got.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    ::close(reader);
    EXPECT_EQ(got, reference.Out);
    struct stat status {};
    ASSERT_EQ(::stat(fifo.c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode)) << "the FIFO stays a FIFO";
    const ProgramResult unread = Qdlctl(At({"schedule", "export", fifo}));
    EXPECT_EQ(unread.ExitCode, 1);
    EXPECT_EQ(unread.Err,
              "The file " + fifo + " cannot be written: nothing reads from it; it was left as it was.\n");

    // Private device nodes, never the machine's own: a full one fails with the system's reason.
    if (::geteuid() != 0)
        GTEST_SKIP() << "device nodes need root";
    for (const auto& [name, minor, code, err] :
         {std::tuple<const char*, unsigned, int, std::string>{"null", 3, 0, ""},
          {"full", 7, 1, "cannot be written: No space left on device; it was left as it was.\n"}}) {
        const std::string node = File(name);
        ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0600, makedev(1, minor)), 0) << name;
        const ProgramResult result = Qdlctl(At({"schedule", "export", node}));
        EXPECT_EQ(result.ExitCode, code) << name;
        EXPECT_EQ(result.Err, err.empty() ? "" : "The file " + node + " " + err) << name;
        ASSERT_EQ(::stat(node.c_str(), &status), 0);
        EXPECT_TRUE(S_ISCHR(status.st_mode)) << name << " stays a device";
    }
}

TEST_F(QdlctlTest, ResultsThatCannotBeWrittenFail) {
    device.DefaultAnswer({Reply(P1001)});
    const ProgramResult full =
        RunProgram({"/bin/sh", "-c",
                    std::string(QDLCTL_PATH) + " status --host 127.0.0.1 --port " + Port() + " >/dev/full"});
    EXPECT_EQ(full.ExitCode, 1);
    EXPECT_EQ(full.Err, "The results cannot be written to standard output: No space left on device.\n");
    for (const std::string& path : {std::string("/nonexistent/s.json"), folder.Path().string()}) {
        const ProgramResult exported = Qdlctl(At({"schedule", "export", path}));
        EXPECT_EQ(exported.ExitCode, 2);
        EXPECT_EQ(exported.Err,
                  "The file " + path + " cannot be written: " +
                      (path == folder.Path().string() ? "Is a directory" : "No such file or directory") +
                      ". Nothing was sent.\n");
    }
    EXPECT_EQ(device.Connections(), 1u);
}

// A list `depth` deep around the number 2.
std::string Nested(std::size_t depth) {
    return std::string(depth, '[') + "2" + std::string(depth, ']');
}

// The text with the `nth` (from 1) occurrence of `what` replaced.
std::string Replaced(std::string text, const std::string& what, int nth, const std::string& with = "") {
    std::size_t at = std::string::npos;
    for (int i = 0; i < nth; ++i)
        at = text.find(what, at == std::string::npos ? 0 : at + 1);
    return text.replace(at, what.size(), with);
}

TEST_F(QdlctlTest, ImportFilesAreCheckedWholeBeforeAnythingIsSent) {
    const std::string entry =
        R"({"slot":"%s","date":"2026-12-24","time":"18:30:00","repeat":"weekdays","on":true%s})";
    auto file = [&](const std::string& extra) {
        std::string entries;
        for (const char* slot : {"1A", "1B", "2A", "2B", "3A", "3B", "4A", "4B"})
            entries += (entries.empty() ? "" : ",\n") +
                       Format(entry.c_str(), slot, std::string(slot) == "2B" ? extra.c_str() : "");
        return "{\"entries\": [\n" + entries + "\n]}\n";
    };
    struct Row {
        std::string Text;
        std::string Message;
    };
    const std::vector<Row> rows{
        {"{\"entries\": [\n  {\"slot\": \"1A\",,}\n]}",
         "The schedule file s.json is not JSON: line 2, column 17: syntax error "
         "while parsing object key - unexpected ','; expected string literal."},
        {file(",\"outlet\":3"), "Entry 2B, field \"outlet\": 3, but slot 2B belongs to outlet 2."},
        {file(",\"code\":96"),
         "Entry 2B, field \"code\": 96, which is not the code of repeat mode weekdays (31)."},
        // numbers are compared as written, never cut to 32 bits or rounded
        {file(",\"code\":4294967327"),
         "Entry 2B, field \"code\": 4294967327, which is not the code of repeat mode weekdays (31)."},
        {file(",\"code\":2147483648"),
         "Entry 2B, field \"code\": 2147483648, which is not the code of repeat mode weekdays (31)."},
        {file(",\"code\":-1"),
         "Entry 2B, field \"code\": -1, which is not the code of repeat mode weekdays (31)."},
        {file(",\"code\":31.5"),
         "Entry 2B, field \"code\": 31.5, which is not the code of repeat mode weekdays (31)."},
        {file(",\"code\":1.5"),
         "Entry 2B, field \"code\": 1.5, which is not the code of repeat mode weekdays (31)."},
        {file(",\"code\":18446744073709551647"), "Entry 2B, field \"code\": 1.8446744073709552e+19, which is "
                                                 "not the code of repeat mode weekdays (31)."},
        {file(",\"comment\":1e400"),
         "The schedule file s.json holds a number that cannot be read at line 5, column "
         "92: 1e400."},
        // nesting that no schedule file has, refused while it is read, whatever its depth
        {file(",\"outlet\":" + Nested(10)),
         "Entry 4 of the schedule file s.json, field \"outlet\": lists or objects within lists or objects, "
         "which a schedule file never holds."},
        {file(",\"outlet\":" + Nested(1000)),
         "Entry 4 of the schedule file s.json, field \"outlet\": lists or objects within lists or objects, "
         "which a schedule file never holds."},
        {file(",\"outlet\":" + Nested(1000000)),
         "Entry 4 of the schedule file s.json, field \"outlet\": lists or objects within lists or objects, "
         "which a schedule file never holds."},
        {"[{\"slot\":\"1A\",\"outlet\":[]}]",
         "Entry 1 of the schedule file s.json, field \"outlet\": lists or objects within lists or objects, "
         "which a schedule file never holds."},
        // the entry and the field are named
        {"[2]", "Entry 1 is 2, not an object with \"slot\", \"date\", ..."},
        {"[{\"date\":\"2026-12-24\"}]", "Entry 1 needs \"slot\" as a text."},
        {"[{\"slot\":\"9Z\"}]",
         "Entry 1, field \"slot\": There is no slot '9Z': the slots are 1A, 1B, 2A, 2B, 3A, 3B, 4A and 4B."},
        {Replaced(file(""), "\"date\":\"2026-12-24\",", 3), "Entry 2A needs \"date\" as a text."},
        {Replaced(file(""), "2026-12-24", 3, "1900-02-29"),
         "Entry 2A, field \"date\": '1900-02-29' is not a date: write it as YYYY-MM-DD, a day that exists."},
        {Replaced(file(""), "18:30:00", 8, std::string(100000, '9')),
         "Entry 4B, field \"time\": '" + std::string(40, '9') +
             "...' is not a time: write it as HH:MM:SS, from 00:00:00 to 23:59:59."},
    };
    for (const auto& row : rows) {
        WriteBytes(File("s.json"), row.Text);
        const ProgramResult result = Qdlctl(At({"schedule", "import", "s.json"}));
        EXPECT_EQ(result.ExitCode, 2);
        EXPECT_EQ(result.Err, row.Message + "\n");
    }
    EXPECT_EQ(device.Connections(), 0u);
}

TEST_F(QdlctlTest, HelpVersionAndTheBareCommand) {
    const ProgramResult bare = Qdlctl({});
    EXPECT_EQ(bare.ExitCode, 2);
    EXPECT_NE(bare.Err.find("\nCommands:\n  status    Print the four outlets"), std::string::npos)
        << bare.Err;
    EXPECT_EQ(Qdlctl({"--version"}).Out, "qdlctl 0.1\n");
    const ProgramResult help = Qdlctl({"--help"});
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Out.find("Exit codes:"), std::string::npos);
    const ProgramResult cycle = Qdlctl({"cycle", "--help"});
    EXPECT_EQ(cycle.Out.find("Exit codes:"), std::string::npos);
    EXPECT_NE(cycle.Out.find("Usage: qdlctl [OPTIONS] cycle [--off-time SECONDS] N...\n"), std::string::npos);
    EXPECT_NE(cycle.Out.find("0 to 3600"), std::string::npos);
}

// The completions made from the command definitions, as each shell runs them.
TEST_F(QdlctlTest, ShellCompletionsOfferCommandsOptionsAndValues) {
    for (const char* shell : {"bash", "zsh", "fish"})
        WriteBytes(File(shell), Qdlctl({"--completion", shell}).Out);
    WriteBytes(File("two words.json"), "");
    const std::string bash =
        "cd " + folder.Path().string() + "; source " + File("bash") +
        "; complete() { eval \"COMP_WORDS=($1)\"; COMP_CWORD=$2; COMPREPLY=(); $3; printf '%s|' "
        "\"${COMPREPLY[@]}\"; echo; }; "
        "complete 'qdlctl --host h schedule s' 4 _qdlctl; complete 'qdlctl cycle --of' 2 _qdlctl; "
        "complete 'qdlctl schedule set 1A --repeat week' 5 _qdlctl; complete 'qdlctl on 2 4 \"\"' 4 _qdlctl; "
        "complete 'qdlctl set 1=on \"\"' 3 _qdlctl; complete 'qdlctl schedule import tw' 3 _qdlctl; "
        "complete 'check_qdl4816 --exp' 1 _qdlctl; complete 'fence_qdl4816 -o reb' 2 _fence_qdl4816; "
        "complete 'fence_qdl4816 --power-w' 1 _fence_qdl4816";
    const std::string options = "--version|--config|--section|--host|-H|--port|-p|--user|--password|--"
                                "password-file|--timeout|-t|--json|"
                                "--help|-h|";
    EXPECT_EQ(RunProgram({"/bin/bash", "-c", bash}).Out,
              "set|\n--off-time|\nweekdays|weekend|\n" + options + "--settle|1|3|\n" + options +
                  "--settle|2=on|2=off|3=on|3=off|4=on|4=off|\ntwo words.json|\n--expect|\nreboot|\n"
                  "--power-wait|\n");
    const std::string fish = "source " + File("fish") +
                             "; complete -C 'qdlctl set 4'; complete -C 'qdlctl --pass'; complete -C "
                             "'check_qdl4816 --exp'; complete -C 'fence_qdl4816 --act'";
    EXPECT_EQ(RunProgram({"/usr/bin/fish", "-c", fish}).Out,
              "4=off\n4=on\n--password\tPassword; other users can see it in the process list\n"
              "--password-file\tRead the password from the file's first line\n"
              "--expect\tCRITICAL when an outlet shows another state\n--action\n");
    EXPECT_EQ(RunProgram({"/usr/bin/zsh", "-n", File("zsh")}).ExitCode, 0);
}

// Against the real stand-in switch program.
class QdlctlStandInTest : public QdlctlTest {
protected:
    std::vector<std::string> AtStandIn(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(),
                         {"--host", "localhost", "--port", std::to_string(standIn.Port())});
        return arguments;
    }

    StandInProcess standIn{QDL_SWITCH_PATH};
};

TEST_F(QdlctlStandInTest, OutletCommandsPrintWhatTheSwitchShows) {
    EXPECT_EQ(Qdlctl(AtStandIn({"all", "on"})).ExitCode, 0);
    EXPECT_EQ(Qdlctl(AtStandIn({"off", "3"})).Out, "outlet 3: OFF\n");
    EXPECT_EQ(Qdlctl(AtStandIn({"toggle", "1", "3"})).Out, "outlet 1: OFF\noutlet 3: ON\n");
    EXPECT_EQ(Qdlctl(AtStandIn({"cycle", "4", "--off-time", "0"})).Out, "outlet 4: ON\n");
    const ProgramResult status = Qdlctl(AtStandIn({"status", "--json"}));
    EXPECT_EQ(json::parse(status.Out),
              json::parse(R"({"outlets":[{"outlet":1,"on":false},{"outlet":2,"on":true},
                                                                {"outlet":3,"on":true},{"outlet":4,"on":true}]})"));
}

// Twenty processes switch outlets of one switch at once: every one that exits 0 has what it
// asked, and at the end every outlet shows what its last change asked.
TEST_F(QdlctlStandInTest, TwentyParallelChangesAllEndAsAsked) {
    std::vector<std::unique_ptr<Program>> programs;
    for (int i = 0; i < 20; ++i) {
        const std::string outlet = std::to_string(1 + i % 4);
        std::vector<std::string> arguments = AtStandIn(
            i % 2 ? std::vector<std::string>{"on", outlet} : std::vector<std::string>{"set", outlet + "=on"});
        arguments.insert(arguments.begin(), QDLCTL_PATH);
        programs.push_back(std::make_unique<Program>(
            arguments, std::map<std::string, std::string>{{"HOME", folder.Path().string()}}));
    }
    for (auto& program : programs) {
        const ProgramResult result = program->Finish();
        EXPECT_EQ(result.ExitCode, 0) << result.Err;
    }
    EXPECT_EQ(
        json::parse(Qdlctl(AtStandIn({"status", "--json"})).Out)["outlets"],
        json::parse(
            R"([{"outlet":1,"on":true},{"outlet":2,"on":true},{"outlet":3,"on":true},{"outlet":4,"on":true}])"));
}

TEST_F(QdlctlStandInTest, ScheduleIsSetExportedAndImported) {
    const ProgramResult set = Qdlctl(AtStandIn({"schedule", "set", "2B", "--date", "2026-12-24", "--time",
                                                "18:30:00", "--repeat", "weekdays", "--off", "--json"}));
    EXPECT_EQ(set.ExitCode, 0) << set.Err;
    EXPECT_EQ(set.Out, R"({"entries":[{"slot":"2B","outlet":2,"date":"2026-12-24","time":"18:30:00",)"
                       R"("repeat":"weekdays","code":31,"on":false}]})"
                       "\n");
    ASSERT_EQ(Qdlctl(AtStandIn({"schedule", "export", "s.json"})).ExitCode, 0);
    EXPECT_EQ(Qdlctl(AtStandIn({"schedule", "clear", "2B"})).ExitCode, 0);
    EXPECT_EQ(Qdlctl(AtStandIn({"schedule", "--json"})).Out.find("weekdays"), std::string::npos);
    const ProgramResult imported = Qdlctl(AtStandIn({"schedule", "import", "s.json"}));
    EXPECT_EQ(imported.ExitCode, 0) << imported.Err;
    EXPECT_NE(
        Qdlctl(AtStandIn({"schedule"})).Out.find("2B    2       2026-12-24  18:30:00  weekdays  031   OFF"),
        std::string::npos);
}

TEST_F(QdlctlStandInTest, SettingsFileSectionsAreReadAndNeverWritten) {
    WriteBytes(File("switches.ini"), "[rack1]\r\nIPV4=localhost\r\nPort=" + std::to_string(standIn.Port()) +
                                         "\r\nUserName=admin\r\nPass=40617253\r\n");
    const auto before = std::filesystem::last_write_time(File("switches.ini"));
    EXPECT_EQ(Qdlctl({"status", "--config", "switches.ini", "--section", "RACK1"}).ExitCode, 0);
    EXPECT_EQ(std::filesystem::last_write_time(File("switches.ini")), before);
    EXPECT_EQ(Qdlctl({"url", "--host", "10.0.0.9", "--port", "8080"}).Out, "http://10.0.0.9:8080\n");
    EXPECT_FALSE(std::filesystem::exists(File("QDL4816.ini"))) << "the window's file is never created";
}

} // namespace
} // namespace qdl::test
