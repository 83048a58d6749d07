// The operations library on its own, on every system: where a script's switch comes from, the
// switch's lock, and failures told by their kind.
#include "ConnectionSource.h"
#include "DeviceFailure.h"
#include "FailureOf.h"
#include "Failures.h"
#include "Outlets.h"
#include "Places.h"
#include "ScriptedSwitch.h"
#include "SwitchLock.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace qdl::test {
namespace {

using namespace control;

// The user's settings folder of the platform points into a test folder while this lives.
class UserFolder {
public:
    explicit UserFolder(const std::string& folder) { Set(folder); }
    ~UserFolder() { Set(""); }

private:
    static void Set(const std::string& value) {
#ifdef _WIN32
        _putenv_s("APPDATA", value.c_str());
#else
        ::setenv("XDG_CONFIG_HOME", value.c_str(), 1);
#endif
    }
};

TEST(ConnectionSourceTest, TheSwitchIsNamedByTheHostOrASettingsFileElseNothingIsUsed) {
    TempFolder folder;
    const UserFolder user(folder.Path().string());
    std::filesystem::create_directories(folder.File("quadrel4816"));
    const std::string userFile = folder.File("quadrel4816/QDL4816.ini");
    ConnectionRequest request;
    // Run from a folder without a settings file of its own.
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    EXPECT_EQ(FailureOf([&] { ResolveConnection(request); }).rfind("No switch is named", 0), 0u);
    WriteBytes(userFile, "\xEF\xBB\xBF[QDL4816]\r\nIPV4=10.0.0.5\r\nPass=p\r\n");
    const ConnectionTexts fromFile = ResolveConnection(request);
    EXPECT_EQ(fromFile.Address, "10.0.0.5");
    EXPECT_EQ(fromFile.Port, "80");
    EXPECT_EQ(fromFile.Password, "p");
    request.Host = "10.0.0.5";
    request.EnvironmentPassword = "";
    EXPECT_EQ(ResolveConnection(request).Password, "p") << "an empty environment password counts as none";
    request.Section = "other";
    std::filesystem::current_path(saved);
    EXPECT_NE(FailureOf([&] { ResolveConnection(request); }).find("has no section [other]"),
              std::string::npos);
    request.ConfigFile = folder.Path().string();
    EXPECT_EQ(FailureOf([&] { ResolveConnection(request); }),
              "The settings file " + folder.Path().string() + " is a folder: name the file in it.");
}

struct CredentialsCase {
    const char* Name;
    std::string File; // the section's lines
    ConnectionRequest Request;
    std::string UserName, Password;
    bool WithoutCredentials;
    friend void PrintTo(const CredentialsCase& row, std::ostream* out) { *out << row.Name; }
};

class CredentialsTest : public testing::TestWithParam<CredentialsCase> {};

// A settings file's user name and password go to the switch it names, never to another one.
TEST_P(CredentialsTest, BelongToTheSwitchTheFileNames) {
    TempFolder folder;
    WriteBytes(folder.File("s.ini"), "[QDL4816]\r\n" + GetParam().File);
    ConnectionRequest request = GetParam().Request;
    request.ConfigFile = folder.File("s.ini");
    const ConnectionTexts texts = ResolveConnection(request);
    EXPECT_EQ(texts.UserName, GetParam().UserName);
    EXPECT_EQ(texts.Password, GetParam().Password);
    EXPECT_EQ(texts.WithoutCredentials, GetParam().WithoutCredentials);
}

ConnectionRequest Naming(std::optional<std::string> host, std::optional<std::string> port = {},
                         std::optional<std::string> password = {}) {
    ConnectionRequest request;
    request.Host = std::move(host);
    request.Port = std::move(port);
    request.Password = std::move(password);
    return request;
}

const std::string SwitchA = "IPV4=10.0.0.5\r\nPort=8080\r\nUserName=ops\r\nPass=secret\r\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, CredentialsTest,
    testing::Values(
        CredentialsCase{"TheFilesSwitch", SwitchA, Naming({}), "ops", "secret", false},
        CredentialsCase{"ItsHostAndPortAgain", SwitchA, Naming(" 10.0.0.5", "8080"), "ops", "secret", false},
        CredentialsCase{"AnotherHost", SwitchA, Naming("10.0.0.6"), "admin", "", true},
        CredentialsCase{"AnotherPort", SwitchA, Naming({}, "80"), "admin", "", true},
        CredentialsCase{"AnotherHostWithAPassword", SwitchA, Naming("10.0.0.6", {}, "pw"), "admin", "pw",
                        false},
        CredentialsCase{"AFileNamingNoSwitch", "Pass=secret\r\n", Naming("10.0.0.6"), "admin", "", true}),
    [](const testing::TestParamInfo<CredentialsCase>& info) { return info.param.Name; });

TEST(SwitchLockTest, OneChangeAtATimePerSwitch) {
    SwitchTarget target;
    target.Host = "127.0.0.1";
    target.Port = 40001;
    target.LockTimeout = std::chrono::milliseconds(0);
    SwitchTarget other = target;
    other.Port = 40002;
    {
        const SwitchLock held(target);
        const SwitchLock elsewhere(other);
        try {
            SwitchLock second(target);
            ADD_FAILURE() << "two locks on one switch";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Kind(), FailureKind::Timeout);
        }
    }
    EXPECT_NO_THROW(SwitchLock again(target)) << "released when the holder goes";
}

struct DescribedCase {
    const char* Name;
    DeviceFailure Device;
    FailureKind Kind;
    std::string Message;
    friend void PrintTo(const DescribedCase& row, std::ostream* out) { *out << row.Name; }
};

class DescribedTest : public testing::TestWithParam<DescribedCase> {};

TEST_P(DescribedTest, DeviceFailuresAreToldInEnglishByTheirKind) {
    SwitchTarget target;
    target.Host = "sw";
    target.Port = 8080;
    const Failure failure = Described(GetParam().Device, target);
    EXPECT_EQ(failure.Kind(), GetParam().Kind);
    EXPECT_EQ(failure.what(), GetParam().Message);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DescribedTest,
    testing::Values(
        DescribedCase{"Refused", DeviceFailure(DeviceFailureKind::Refused, "x", 10061), FailureKind::Refused,
                      "sw:8080 refused the connection (socket error 10061)."},
        DescribedCase{
            "NoName",
            DeviceFailure(DeviceFailureKind::Unreachable, "Socket Error # 11001\nHost not found.", 11001),
            FailureKind::Unreachable,
            "The address 'sw' cannot be resolved: Host not found (socket error 11001)."},
        DescribedCase{"ConnectTimeout", DeviceFailure(DeviceFailureKind::Timeout, "Connect timed out."),
                      FailureKind::Timeout, "sw:8080 did not accept a connection within 1000 ms."},
        DescribedCase{"ReadTimeout", DeviceFailure(DeviceFailureKind::Timeout, "Read Timeout"),
                      FailureKind::Timeout, "sw:8080 did not send its whole reply within 5 s."},
        DescribedCase{"Auth", DeviceFailure(DeviceFailureKind::Auth, "HTTP/1.1 401 Unauthorized", 401),
                      FailureKind::Auth,
                      "sw:8080 refused the user name or password (HTTP/1.1 401 Unauthorized)."},
        DescribedCase{"Reset",
                      DeviceFailure(DeviceFailureKind::Protocol,
                                    "Socket Error # 10054\nConnection reset by peer.", 10054),
                      FailureKind::Protocol,
                      "sw:8080 broke off the exchange: Connection reset by peer (socket error 10054)."},
        DescribedCase{"NotEnglish",
                      DeviceFailure(DeviceFailureKind::Protocol, "時刻", 0, "an Expires header"),
                      FailureKind::Protocol, "sw:8080 sent a reply that cannot be read: an Expires header"}),
    [](const testing::TestParamInfo<DescribedCase>& info) { return info.param.Name; });

// The write's answer claims the change, but only the third fresh read shows it.
TEST(ConfirmTest, AChangeIsConfirmedByReadsUntilTheSwitchShowsIt) {
    ScriptedSwitch device;
    auto reply = [&](const std::string& body) {
        device.Reply("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    };
    for (const char* body : {"<html>P60=0,P61=0,P62=0,P63=0</html>", "<html>P60=1,P61=0,P62=0,P63=0</html>",
                             "<html>P60=0,P61=0,P62=0,P63=0</html>", "<html>P60=0,P61=0,P62=0,P63=0</html>",
                             "<html>P60=1,P61=0,P62=0,P63=0</html>"})
        reply(body);
    SwitchTarget target;
    target.Host = "127.0.0.1";
    target.Port = device.Port();
    SwitchSession session(target);
    ConfirmPolicy policy;
    policy.PollFor.reset();
    EXPECT_TRUE(ChangeOutlets(session, {{1, true}}, policy)[0]);
    EXPECT_EQ(device.Connections(), 5u);
}

const std::string OutletOneOn = "<html>P60=1,P61=1,P62=0,P63=0</html>",
                  OutletOneOff = "<html>P60=0,P61=1,P62=0,P63=0</html>";

// The switch's answers scripted connection by connection, on a clock the test tells, so that
// power waits and settle windows take no time.
class HoldTest : public testing::Test {
protected:
    HoldTest() {
        target.Host = "127.0.0.1";
        target.Port = device.Port();
        policy.Settle = std::chrono::seconds(6);
        policy.Every = std::chrono::seconds(1);
        policy.PowerTimeout = std::chrono::seconds(20);
        policy.Clock = [this] { return now; };
        policy.Sleep = [this](std::chrono::milliseconds time) { now += time; };
        policy.Reapplied = [this](const std::string&) { ++reapplied; };
    }
    void Answer(const std::vector<std::string>& bodies) {
        for (const auto& body : bodies)
            device.Reply(Ok(body));
    }
    std::size_t Writes() const {
        const auto requests = device.Requests();
        return static_cast<std::size_t>(
            std::count_if(requests.begin(), requests.end(),
                          [](const std::string& r) { return r.find("CMD=SetPower") != std::string::npos; }));
    }
    std::chrono::milliseconds Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now - Clock::time_point{});
    }
    static std::string Ok(const std::string& body) {
        return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }

    ScriptedSwitch device;
    SwitchTarget target;
    HoldPolicy policy;
    Clock::time_point now{};
    int reapplied = 0;
    const OutletChanges off1{{1, false}};
    const std::string On = OutletOneOn, Off = OutletOneOff;
};

// What the switch does with outlet 1 switched OFF: the answers to each connection in turn (a
// write's answer is not looked at), then the answer to every later one.
struct BudgetCase {
    const char* Name;
    int PowerWait, PowerTimeout, Attempts, Settle; // seconds; attempts as 1 + retry_on for "on"
    std::vector<std::string> Answers;
    std::string Then;
    std::size_t Writes;
    int EndsAt;          // seconds
    const char* Failure; // nothing: it holds
};

class BudgetTest : public HoldTest, public testing::WithParamInterface<BudgetCase> {};

// Each attempt is one write, a power wait and reads for power_timeout, as the fence-agents library
// counts; the hold comes after the change showed, on a time of its own.
TEST_P(BudgetTest, WritesAndTimesFollowTheLibrarysCountPlusTheHold) {
    const BudgetCase& row = GetParam();
    policy.PowerWait = std::chrono::seconds(row.PowerWait);
    policy.PowerTimeout = std::chrono::seconds(row.PowerTimeout);
    policy.Attempts = row.Attempts;
    policy.Settle = std::chrono::seconds(row.Settle);
    Answer(row.Answers);
    device.DefaultAnswer({Ok(row.Then)});
    SwitchSession session(target);
    std::string failure;
    try {
        const Held held = HoldChange(session, off1, policy);
        EXPECT_FALSE(held.States[0]);
        EXPECT_EQ(now - held.Since, std::chrono::seconds(row.Settle)) << "the last read ends the window";
    } catch (const OutletCheckFailed& check) {
        failure = check.what();
    }
    if (row.Failure)
        EXPECT_NE(failure.find(row.Failure), std::string::npos) << failure;
    else
        EXPECT_EQ(failure, "");
    EXPECT_EQ(Writes(), row.Writes);
    EXPECT_EQ(Elapsed(), std::chrono::seconds(row.EndsAt));
}

INSTANTIATE_TEST_SUITE_P(
    Fence, BudgetTest,
    testing::Values(
        BudgetCase{"AtOnce", 5, 20, 1, 6, {}, OutletOneOff, 1, 11, nullptr},
        BudgetCase{"TimeoutBelowWaitPlusSettle", 5, 3, 1, 6, {}, OutletOneOff, 1, 11, nullptr},
        BudgetCase{"AtOnceWithoutHold", 5, 1, 1, 0, {}, OutletOneOff, 1, 5, nullptr},
        // read, write, then three reads before the switch shows it: polled, never written again
        BudgetCase{"AfterThreeReads",
                   5,
                   20,
                   1,
                   6,
                   {OutletOneOn, OutletOneOn, OutletOneOn, OutletOneOn},
                   OutletOneOff,
                   1,
                   5 + 2 + 6,
                   nullptr},
        BudgetCase{"NeverOneAttempt", 5, 3, 1, 6, {}, OutletOneOn, 1, 5 + 3, "never showed what was asked"},
        BudgetCase{"NeverThreeAttempts",
                   2,
                   1,
                   3,
                   6,
                   {},
                   OutletOneOn,
                   3,
                   3 * (2 + 1),
                   "after 3 writes, each followed by a power wait of 2.0 s and reads for 1.0 s"},
        // shows at 5, off again at 7: written again at 7, shows at 12, holds until 18
        BudgetCase{"UndoneOnce",
                   5,
                   20,
                   1,
                   6,
                   {OutletOneOn, OutletOneOn, OutletOneOff, OutletOneOff, OutletOneOn},
                   OutletOneOff,
                   2,
                   18,
                   nullptr},
        BudgetCase{"UndoneThreeTimes",
                   0,
                   20,
                   1,
                   6,
                   {OutletOneOn, OutletOneOn, OutletOneOff, OutletOneOn, OutletOneOn, OutletOneOn,
                    OutletOneOff, OutletOneOn, OutletOneOn, OutletOneOn, OutletOneOff, OutletOneOn},
                   OutletOneOff,
                   3,
                   3,
                   "showed what was asked, but it was undone 3 times"},
        BudgetCase{"ReappliedNeverShows",
                   1,
                   2,
                   1,
                   6,
                   {OutletOneOn, OutletOneOn, OutletOneOff, OutletOneOn},
                   OutletOneOn,
                   2,
                   1 + 1 + 1 + 2,
                   "applied again it did not show"}),
    [](const testing::TestParamInfo<BudgetCase>& info) { return info.param.Name; });

// Reads that take longer than the hold may last: it ends, saying how much of the window was left.
TEST_F(HoldTest, AHoldWhoseReadsTakeTooLongRunsOutOfTime) {
    policy.PowerTimeout = std::chrono::seconds(1);
    policy.Reapplies = 0;
    policy.Clock = [this] { return now += std::chrono::seconds(4); };
    Answer({On, Off});
    device.DefaultAnswer({Ok(Off)});
    SwitchSession session(target);
    try {
        HoldChange(session, off1, policy);
        ADD_FAILURE() << "held";
    } catch (const OutletCheckFailed& failure) {
        EXPECT_NE(
            std::string(failure.what()).find("of the 6.0 s settle time when the time for holding it ran out"),
            std::string::npos)
            << failure.what();
    }
}

// Two holders with opposite goals on one outlet would undo each other until both time out: the one
// that switches ON gives way the second time, since the other is a fence.
TEST_F(HoldTest, SwitchingOnGivesWayToAFenceThatHoldsItsOff) {
    const OutletChanges on1{{1, true}};
    Answer({Off, On, On, Off, Off, On, On, Off});
    SwitchSession session(target);
    try {
        HoldChange(session, on1, policy);
        ADD_FAILURE() << "held against a fence";
    } catch (const OutletCheckFailed& failure) {
        EXPECT_NE(std::string(failure.what()).find("a fence wins over switching on"), std::string::npos)
            << failure.what();
    }
    EXPECT_EQ(Writes(), 2u);
    EXPECT_EQ(reapplied, 1);
}

struct ReadingCase {
    const char* Name;
    std::string Reply;   // raw
    std::string Message; // "@" for the switch; empty: the states below
    OutletStates States{};
    friend void PrintTo(const ReadingCase& row, std::ostream* out) { *out << row.Name; }
};

class StrictReadingTest : public testing::TestWithParam<ReadingCase> {};

std::string Ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// What a reply does not show is unknown: scripts get a protocol failure, never an OFF.
TEST_P(StrictReadingTest, AReplyIsReadOnlyWhenItShowsEachOutletOnceAsZeroOrOne) {
    ScriptedSwitch device;
    device.Reply(GetParam().Reply);
    SwitchTarget target;
    target.Host = "127.0.0.1";
    target.Port = device.Port();
    SwitchSession session(target);
    std::string message = GetParam().Message;
    if (message.empty()) {
        EXPECT_EQ(ReadOutlets(session), GetParam().States);
        return;
    }
    message.replace(message.find('@'), 1, target.Name());
    try {
        ReadOutlets(session);
        ADD_FAILURE() << "read as " << StateString(ReadOutlets(session));
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Kind(), FailureKind::Protocol);
        EXPECT_EQ(failure.what(), message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StrictReadingTest,
    testing::Values(
        ReadingCase{
            "Whole", Ok("<html>\nP60=1, p61=0 ,P62=0,P63=1\n</html>"), "", {true, false, false, true}},
        ReadingCase{"BusyPage", Ok("<html>Busy, try again</html>"),
                    "@ answered GetPower without the four outlet states: P60, P61, P62 and P63 are missing "
                    "('Busy,try,again')."},
        ReadingCase{"LoginPage", Ok("<html><form>User: <input name=u></form></html>"),
                    "@ answered GetPower without the four outlet states: P60, P61, P62 and P63 are missing "
                    "('<form>User:,<input,name=u></form>')."},
        ReadingCase{"EmptyBody", Ok(""), "@ answered GetPower without any outlet states."},
        ReadingCase{"TwoOutlets", Ok("<html>P60=1,P61=0</html>"),
                    "@ answered GetPower without the four outlet states: P62 and P63 are missing "
                    "('P60=1,P61=0')."},
        ReadingCase{"NotZeroOrOne", Ok("<html>P60=1,P61=0,P62=0,P63=2</html>"),
                    "@ answered GetPower without the four outlet states: P63 is '2', not 0 or 1 "
                    "('P60=1,P61=0,P62=0,P63=2')."},
        ReadingCase{
            "EmptyValue", Ok("<html>P60=1,P61=,P62=0,P63=1</html>"),
            "@ answered GetPower without the four outlet states: P61 is empty ('P60=1,P61=,P62=0,P63=1')."},
        ReadingCase{"Twice", Ok("<html>P60=1,P61=0,P62=0,P63=1,P60=0</html>"),
                    "@ answered GetPower without the four outlet states: P60 is given 2 times "
                    "('P60=1,P61=0,P62=0,P63=1,P60=0')."},
        ReadingCase{"CutShort", "HTTP/1.1 200 OK\r\nContent-Length: 64\r\n\r\n",
                    "@ cut its reply short (64 bytes were announced, 0 arrived)."},
        ReadingCase{"ChunkBrokenOff",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n40\r\n<html>P60=1",
                    "@ cut its reply short (a chunk of 64 bytes broke off after 11)."},
        ReadingCase{"NotHttp", "garbage\r\n\r\n",
                    "@ sent a reply that cannot be read: The switch's reply is not HTTP: its first line is "
                    "'garbage'."}),
    [](const testing::TestParamInfo<ReadingCase>& info) { return info.param.Name; });

#ifndef _WIN32
// Anyone may put something at a switch's lock path in the shared folder: it is refused at once,
// naming the path, instead of hanging the change.
TEST(SwitchLockTest, ALockPathThatIsNoRegularFileIsASettingsFailure) {
    TempFolder folder;
    SwitchTarget target;
    target.Host = "127.0.0.1";
    target.Port = ClosedPort();
    const std::string path = (std::filesystem::path(platform::SharedLockFolder()) /
                              ("qdl4816-127.0.0.1-" + std::to_string(target.Port) + ".lock"))
                                 .string();
    struct Row {
        const char* Kind;
        std::function<void()> Make;
        std::string Says;
    };
    const std::vector<Row> rows{
        {"FIFO", [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); },
         "is a FIFO, not a regular file; remove it."},
        {"link", [&] { std::filesystem::create_symlink(folder.File("elsewhere"), path); },
         "is a symbolic link, which a lock file must not be."},
        {"folder", [&] { std::filesystem::create_directory(path); },
         "is a folder, not a regular file; remove it."},
    };
    // Lock files stay by design: an earlier run on the same port may have left one there.
    std::filesystem::remove(path);
    for (const Row& row : rows) {
        row.Make();
        try {
            SwitchLock lock(target);
            ADD_FAILURE() << row.Kind << " taken as a lock";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Kind(), FailureKind::Config) << row.Kind;
            EXPECT_EQ(failure.what(), "The lock file " + path + " " + row.Says + " Nothing was sent to " +
                                          target.Name() + ".")
                << row.Kind;
        }
        std::filesystem::remove(path);
    }
    EXPECT_FALSE(std::filesystem::exists(folder.File("elsewhere"))) << "the link was not followed";
}
#endif

} // namespace
} // namespace qdl::test
