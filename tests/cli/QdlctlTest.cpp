// qdlctl and its fence-agent mode as scripts run them: real processes against the stand-in
// switch program, and against the scripted switch where the exact bytes or a failure matter.
#include "RunProgram.h"
#include "ScriptedSwitch.h"
#include "StandInProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

namespace qdl::test {
namespace {

namespace fs = std::filesystem;
using Then = ScriptedSwitch::Then;

const std::string Auth = "YWRtaW46NDA2MTcyNTM=";

std::string Reply(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string Request(const std::string& command, const std::string& authorization = Auth) {
    return ExpectedRequest("/Set.cmd?CMD=" + command, "127.0.0.1", authorization);
}

// Runs qdlctl in a fresh folder (so no settings file of the machine is read).
class QdlctlTest : public testing::Test {
protected:
    ProgramResult Qdlctl(std::vector<std::string> arguments,
                         const std::map<std::string, std::string>& environment = {},
                         const std::string& program = QDLCTL_PATH) {
        arguments.insert(arguments.begin(), program);
        const fs::path saved = fs::current_path();
        fs::current_path(folder_);
        ProgramResult result = RunProgram(arguments, input, environment);
        fs::current_path(saved);
        return result;
    }
    // The scripted switch's address as options.
    std::vector<std::string> At(std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), {"--host", "127.0.0.1", "--port", std::to_string(device.Port())});
        return arguments;
    }
    std::string File(const std::string& name) const { return (folder_ / name).string(); }

    ScriptedSwitch device;
    std::string input;

private:
    fs::path folder_ = [] {
        std::string pattern = (fs::temp_directory_path() / "qdlctl-test-XXXXXX").string();
        return fs::path(::mkdtemp(pattern.data()));
    }();

public:
    ~QdlctlTest() override { fs::remove_all(folder_); }
};

TEST_F(QdlctlTest, ChangingOneOutletKeepsTheOthersAsTheSwitchReported) {
    device.Reply(Reply("<html>P60=1,P61=0,P62=0,P63=1</html>"));
    device.Reply(Reply("<html>P60=1,P61=1,P62=0,P63=1</html>"));
    const ProgramResult result = Qdlctl(At({"on", "2"}));
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(result.Out, "outlet 2: ON\n");
    EXPECT_EQ(device.Requests(),
              (std::vector<std::string>{Request("GetPower"), Request("SetPower+P60=1+P61=1+P62=0+P63=1")}));
}

TEST_F(QdlctlTest, AnAnswerWithoutStatesIsCheckedByAReadAndAMismatchExitsWith3) {
    device.Reply(Reply("<html>P60=0,P61=0,P62=0,P63=0</html>"));
    device.Reply(Reply("<html>OK</html>"));
    device.Reply(Reply("<html>P60=0,P61=0,P62=0,P63=0</html>"));
    const ProgramResult result = Qdlctl(At({"--json", "set", "1=on", "3=off"}));
    EXPECT_EQ(result.ExitCode, 3);
    EXPECT_EQ(nlohmann::json::parse(result.Err)["error"],
              "The switch does not show what was asked: outlet 1 shows OFF, not ON.");
    EXPECT_EQ(device.Requests(),
              (std::vector<std::string>{Request("GetPower"), Request("SetPower+P60=1+P61=0+P62=0+P63=0"),
                                        Request("GetPower")}));
}

TEST_F(QdlctlTest, ACycleWhoseOnStepFailsSaysTheOutletWasLeftOff) {
    device.Reply(Reply("<html>P60=0,P61=1,P62=0,P63=0</html>"));
    device.Reply(Reply("<html>P60=0,P61=0,P62=0,P63=0</html>"));
    device.Reply("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n");
    const ProgramResult result = Qdlctl(At({"cycle", "2", "--off-time", "0"}));
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_EQ(result.Err, "Outlet 2 was left OFF: HTTP/1.1 401 Unauthorized\n");
}

TEST_F(QdlctlTest, FailuresOfTheSwitchExitWith1AndTheDeviceLibrarysText) {
    device.Reply(Reply("<html></html>"));
    EXPECT_EQ(Qdlctl(At({"status"})).Err, "Error ... Please Check Quadrel\n");
    const ProgramResult refused = Qdlctl({"status", "--host", "127.0.0.1", "--port", "1"});
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_EQ(refused.Err, "Socket Error # 10061\nConnection refused.\n");
}

TEST_F(QdlctlTest, ThePasswordComesFromFileThenEnvironmentThenOption) {
    for (int i = 0; i < 3; ++i)
        device.Reply(Reply("<html>P60=1</html>"));
    std::ofstream(File("pw")) << "from-file\nsecond line\n";
    Qdlctl(At({"status", "--password", "opt", "--password-file", File("pw")}), {{"QDL4816_PASSWORD", "env"}});
    Qdlctl(At({"status", "--password", "opt"}), {{"QDL4816_PASSWORD", "env"}});
    Qdlctl(At({"status", "--password", "opt"}));
    EXPECT_EQ(device.Requests(), (std::vector<std::string>{Request("GetPower", "YWRtaW46ZnJvbS1maWxl"),
                                                           Request("GetPower", "YWRtaW46ZW52"),
                                                           Request("GetPower", "YWRtaW46b3B0")}));
}

// The request target of a recorded request: what follows "GET " on its first line.
std::string TargetOf(const std::string& request) {
    const auto start = request.find(' ') + 1;
    return request.substr(start, request.find(' ', start) - start);
}

struct RequestsCase {
    const char* Name;
    std::vector<std::string> Arguments;
    std::vector<std::string> Bodies; // what the switch answers, one command after another
    std::vector<std::string> Commands;
    friend void PrintTo(const RequestsCase& row, std::ostream* out) { *out << row.Name; }
};

class QdlctlRequestsTest : public QdlctlTest, public testing::WithParamInterface<RequestsCase> {};

TEST_P(QdlctlRequestsTest, SendsExactlyTheseCommands) {
    for (const auto& body : GetParam().Bodies)
        device.Reply(Reply(body));
    const ProgramResult result = Qdlctl(At(GetParam().Arguments));
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    std::vector<std::string> targets;
    for (const auto& request : device.Requests())
        targets.push_back(TargetOf(request));
    std::vector<std::string> expected;
    for (const auto& command : GetParam().Commands)
        expected.push_back("/Set.cmd?CMD=" + command);
    EXPECT_EQ(targets, expected);
}

const std::string P1001 = "<html>P60=1,P61=0,P62=0,P63=1</html>",
                  P0000 = "<html>P60=0,P61=0,P62=0,P63=0</html>",
                  P0100 = "<html>P60=0,P61=1,P62=0,P63=0</html>",
                  P1111 = "<html>P60=1,P61=1,P62=1,P63=1</html>";
const std::string Entry3B = "<html>2026-12-24,18:30:00-096-1</html>",
                  Entry1A = "<html>2006-11-27,08:05:05-128-1</html>",
                  Cleared1A = "<html>2006-11-27,08:05:05-000-1</html>";

INSTANTIATE_TEST_SUITE_P(
    Rows, QdlctlRequestsTest,
    testing::Values(
        RequestsCase{"Status", {"status"}, {P1001}, {"GetPower"}},
        RequestsCase{
            "Off", {"off", "1", "4"}, {P1001, P0000}, {"GetPower", "SetPower+P60=0+P61=0+P62=0+P63=0"}},
        RequestsCase{
            "Toggle", {"toggle", "2"}, {P0000, P0100}, {"GetPower", "SetPower+P60=0+P61=1+P62=0+P63=0"}},
        RequestsCase{"AllOn",
                     {"all", "on"},
                     {"<html>OK</html>", P1111},
                     {"SetPower+P60=1+P61=1+P62=1+P63=1", "GetPower"}},
        RequestsCase{
            "Cycle",
            {"cycle", "2", "--off-time", "0"},
            {P0100, P0000, P0000, P0100},
            {"GetPower", "SetPower+P60=0+P61=0+P62=0+P63=0", "GetPower", "SetPower+P60=0+P61=1+P62=0+P63=0"}},
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
                      "GetSchedule+Power=1A"}},
        RequestsCase{"Schedule",
                     {"schedule"},
                     {Entry1A, Entry1A, Entry1A, Entry1A, Entry1A, Entry1A, Entry1A, Entry1A},
                     {"GetSchedule+Power=1A", "GetSchedule+Power=1B", "GetSchedule+Power=2A",
                      "GetSchedule+Power=2B", "GetSchedule+Power=3A", "GetSchedule+Power=3B",
                      "GetSchedule+Power=4A", "GetSchedule+Power=4B"}}),
    [](const testing::TestParamInfo<RequestsCase>& info) { return info.param.Name; });

struct UsageCase {
    const char* Name;
    std::vector<std::string> Arguments;
    std::string Message;
    friend void PrintTo(const UsageCase& row, std::ostream* out) { *out << row.Name; }
};

class QdlctlUsageTest : public QdlctlTest, public testing::WithParamInterface<UsageCase> {};

TEST_P(QdlctlUsageTest, Exits2WithoutContactingTheSwitch) {
    const ProgramResult result = Qdlctl(At(GetParam().Arguments));
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_EQ(result.Err, GetParam().Message + "\n");
    EXPECT_EQ(device.Connections(), 0u);
}

const std::vector<std::string> SetSlot1A{"schedule", "set", "1A", "--repeat", "once", "--on"};

std::vector<std::string> With(std::vector<std::string> base, const std::vector<std::string>& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, QdlctlUsageTest,
    testing::Values(
        UsageCase{"OutletZero", {"on", "0"}, "There is no outlet 0: the outlets are 1 to 4."},
        UsageCase{"OutletFive", {"toggle", "1", "5"}, "There is no outlet 5: the outlets are 1 to 4."},
        UsageCase{"BadSetting",
                  {"set", "2=maybe"},
                  "'2=maybe' is not an outlet setting: write OUTLET=on or OUTLET=off, as in 2=on."},
        UsageCase{"SlotFiveC",
                  {"schedule", "set", "5C", "--date", "2026-01-01", "--time", "08:00:00", "--repeat", "once",
                   "--on"},
                  "There is no slot '5C': the slots are 1A, 1B, 2A, 2B, 3A, 3B, 4A and 4B."},
        UsageCase{"NoSuchDay", With(SetSlot1A, {"--date", "2026-02-30", "--time", "08:00:00"}),
                  "'2026-02-30' is not a date: write it as YYYY-MM-DD, a day that exists."},
        UsageCase{"Hour24", With(SetSlot1A, {"--date", "2026-02-28", "--time", "24:00:00"}),
                  "'24:00:00' is not a time: write it as HH:MM:SS, from 00:00:00 to 23:59:59."},
        UsageCase{"UnreadablePasswordFile",
                  {"status", "--password-file", "/nonexistent/pw"},
                  "The password file /nonexistent/pw cannot be read: No such file or directory."},
        UsageCase{"TimeoutTooLong",
                  {"status", "--timeout", "31"},
                  "--timeout 31 is out of range: give 1 to 30 seconds."},
        UsageCase{"UnknownCommand", {"reboot"}, "'reboot' is not a command of qdlctl: see qdlctl --help."}),
    [](const testing::TestParamInfo<UsageCase>& info) { return info.param.Name; });

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
    EXPECT_EQ(nlohmann::json::parse(status.Out),
              nlohmann::json::parse(R"({"outlets":[{"outlet":1,"on":false},{"outlet":2,"on":true},
                                                   {"outlet":3,"on":true},{"outlet":4,"on":true}]})"));
}

TEST_F(QdlctlStandInTest, ScheduleIsSetExportedAndImported) {
    const ProgramResult set = Qdlctl(AtStandIn({"schedule", "set", "2B", "--date", "2026-12-24", "--time",
                                                "18:30:00", "--repeat", "weekdays", "--off", "--json"}));
    EXPECT_EQ(set.ExitCode, 0) << set.Err;
    EXPECT_EQ(set.Out, R"({"entries":[{"slot":"2B","outlet":2,"date":"2026-12-24","time":"18:30:00",)"
                       R"("repeat":"weekdays","code":31,"on":false}]})"
                       "\n");
    ASSERT_EQ(Qdlctl(AtStandIn({"schedule", "export", File("s.json")})).ExitCode, 0);
    EXPECT_EQ(Qdlctl(AtStandIn({"schedule", "clear", "2B"})).ExitCode, 0);
    EXPECT_EQ(Qdlctl(AtStandIn({"schedule", "--json"})).Out.find("weekdays"), std::string::npos);
    const ProgramResult imported = Qdlctl(AtStandIn({"schedule", "import", File("s.json")}));
    EXPECT_EQ(imported.ExitCode, 0) << imported.Err;
    EXPECT_NE(
        Qdlctl(AtStandIn({"schedule"})).Out.find("2B    2       2026-12-24  18:30:00  weekdays  031   OFF"),
        std::string::npos);
}

TEST_F(QdlctlStandInTest, SettingsFileSectionsAreReadAndNeverWritten) {
    std::ofstream(File("switches.ini")) << "[rack1]\r\nIPV4=localhost\r\nPort=" << standIn.Port()
                                        << "\r\nUserName=admin\r\nPass=40617253\r\n";
    const auto before = fs::last_write_time(File("switches.ini"));
    EXPECT_EQ(Qdlctl({"status", "--config", File("switches.ini"), "--section", "RACK1"}).ExitCode, 0);
    EXPECT_EQ(fs::last_write_time(File("switches.ini")), before);
    EXPECT_EQ(Qdlctl({"url", "--port", "abc"}).Out, "http://192.168.10.100:abc\n");
    EXPECT_FALSE(fs::exists(File("QDL4816.ini"))) << "the window's file is never created";
}

TEST_F(QdlctlStandInTest, FenceAgentTakesArgumentsOrStandardInput) {
    const std::string port = std::to_string(standIn.Port());
    const auto fence = [&](std::vector<std::string> arguments) {
        return Qdlctl(std::move(arguments), {}, FENCE_PATH);
    };
    EXPECT_EQ(fence({"-o", "on", "-a", "127.0.0.1", "-u", port, "-n", "2"}).Out, "Success: Powered ON\n");
    EXPECT_EQ(fence({"-o", "off", "-a", "127.0.0.1", "-u", port, "-n", "2"}).Out, "Success: Powered OFF\n");
    EXPECT_EQ(fence({"--action=off", "--ip=127.0.0.1", "--ipport=" + port, "--plug=2"}).Out,
              "Success: Already OFF\n");
    const ProgramResult off = fence({"-o", "status", "-a", "127.0.0.1", "-u", port, "-n", "2"});
    EXPECT_EQ(off.ExitCode, 2);
    EXPECT_EQ(off.Out, "Status: OFF\n");
    input = "# from the cluster\naction=reboot\nipaddr=127.0.0.1\nipport=" + port +
            "\n\nlogin=admin\nport=2\nnodename=n1\n";
    EXPECT_EQ(fence({}).Out, "Success: Rebooted\n");
    input = "option=status\nip=127.0.0.1\nipport=" + port + "\nplug=2\n";
    EXPECT_EQ(fence({}).Out, "Status: ON\n");
    input = "action=list\nip=127.0.0.1\nipport=" + port + "\n";
    EXPECT_EQ(fence({}).Out, "1,Outlet 1\n2,Outlet 2\n3,Outlet 3\n4,Outlet 4\n");
}

TEST_F(QdlctlTest, FenceRebootWhoseOnStepFailsSucceedsOnceOffIsConfirmed) {
    device.Reply(Reply("<html>P60=0,P61=1,P62=0,P63=0</html>"));
    device.Reply(Reply("<html>P60=0,P61=0,P62=0,P63=0</html>"));
    device.Reply("HTTP/1.1 500 Broken\r\nContent-Length: 0\r\n\r\n");
    const ProgramResult result = Qdlctl(
        {"-o", "reboot", "-a", "127.0.0.1", "-u", std::to_string(device.Port()), "-n", "2"}, {}, FENCE_PATH);
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Out, "Success: Powered OFF\n");
    EXPECT_EQ(result.Err, "ERROR: outlet 2 was left OFF: HTTP/1.1 500 Broken\n");
}

TEST_F(QdlctlTest, FenceFailuresAllExitWith1) {
    const std::string port = std::to_string(device.Port());
    EXPECT_EQ(Qdlctl({"-o", "status", "-a", "127.0.0.1", "-u", port, "-n", "7"}, {}, FENCE_PATH).ExitCode, 1);
    EXPECT_EQ(Qdlctl({"-o", "status", "--bogus"}, {}, FENCE_PATH).ExitCode, 1);
    input = "action=status\nbogus=1\n";
    const ProgramResult unknown = Qdlctl({}, {}, FENCE_PATH);
    EXPECT_EQ(unknown.ExitCode, 1);
    EXPECT_EQ(unknown.Err, "Failed: Unknown option 'bogus' on standard input.\n");
    EXPECT_EQ(Qdlctl({"-o", "status", "-a", "127.0.0.1", "-u", "1", "-n", "1"}, {}, FENCE_PATH).ExitCode, 1);
    EXPECT_EQ(device.Connections(), 0u);
}

TEST_F(QdlctlTest, FenceMetadataValidatesAgainstTheClusterSchema) {
    const ProgramResult metadata = Qdlctl({"-o", "metadata"}, {}, FENCE_PATH);
    ASSERT_EQ(metadata.ExitCode, 0);
    std::ofstream(File("metadata.xml")) << metadata.Out;
    const ProgramResult check = RunProgram({"/usr/bin/xmllint", "--noout", "--relaxng",
                                            "/usr/share/cluster/relaxng/metadata.rng", File("metadata.xml")});
    EXPECT_EQ(check.ExitCode, 0) << check.Err;
}

} // namespace
} // namespace qdl::test
