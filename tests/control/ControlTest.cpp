// The operations library on its own, on every system: where a script's switch comes from, the
// switch's lock, and failures told by their kind.
#include "ConnectionSource.h"
#include "DeviceFailure.h"
#include "FailureOf.h"
#include "Failures.h"
#include "Outlets.h"
#include "ScriptedSwitch.h"
#include "SwitchLock.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>

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
    request.Host = "10.0.0.6";
    request.EnvironmentPassword = "";
    EXPECT_EQ(ResolveConnection(request).Address, "10.0.0.6");
    EXPECT_EQ(ResolveConnection(request).Password, "p") << "an empty environment password counts as none";
    request.Section = "other";
    std::filesystem::current_path(saved);
    EXPECT_NE(FailureOf([&] { ResolveConnection(request); }).find("has no section [other]"),
              std::string::npos);
}

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

} // namespace
} // namespace qdl::test
