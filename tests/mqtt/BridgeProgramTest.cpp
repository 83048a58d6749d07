// The program qdl4816-mqtt itself, as systemd runs it: signals, and the exit status that tells the
// service manager not to start it again while another bridge serves its prefix.
#include "BridgeFixture.h"

#include <signal.h>

namespace qdl::test {
namespace {

class BridgeProgramTest : public BridgeTest {
protected:
    std::string Config(const std::string& name, const std::string& mqtt, const std::string& switches) {
        const std::string path = folder.File(name);
        WriteBytes(path, "[mqtt]\nHost=127.0.0.1\nPort=" + std::to_string(broker->Port()) + "\nPollSeconds=1\n" +
                             mqtt + "\n" + switches);
        ::chmod(path.c_str(), 0600);
        return path;
    }
};

// SIGHUP beside a hanging switch leaves the healthy one serving at once; a second bridge on the
// prefix ends with status 3 and says why, leaving the first one's availability alone; SIGTERM
// ends the first with its last word.
TEST_F(BridgeProgramTest, SignalsAndASecondBridgeOnThePrefix) {
    standin::Faults hang;
    hang.Hang = true;
    Switch hanging(hang);
    Hub hub(broker->Port());
    const std::string first = Config("first.ini", "", Section("rack1", rack1.Port()) + Section("hanging", hanging.Port()));
    Program bridge({QDL4816_MQTT_PATH, "--config", first});
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/1/state", "OFF"), 0);
    ASSERT_GE(hub.WaitFor("qdl4816/hanging/availability", "offline", 0, 15s), 0);
    std::size_t from = hub.Count();
    bridge.Signal(SIGHUP);
    const auto sent = Clock::now();
    hub.Publish("qdl4816/rack1/outlet/1/set", "ON");
    const int confirmed = hub.WaitFor("qdl4816/rack1/outlet/1/state", "ON", from, 1s);
    ASSERT_GE(confirmed, 0) << "confirmed within a second of the SIGHUP";
    EXPECT_LT(hub.Times()[static_cast<std::size_t>(confirmed)] - sent, 1s);

    const std::string second = Config("second.ini", "", Section("rack2", rack2.Port()));
    const ProgramResult refused = RunProgram({QDL4816_MQTT_PATH, "--config", second});
    EXPECT_EQ(refused.ExitCode, 3) << refused.Err;
    EXPECT_NE(refused.Err.find("serves the prefix qdl4816 and is online"), std::string::npos) << refused.Err;
    EXPECT_EQ(hub.CountOf("qdl4816/bridge/availability", "offline", from), 0u);
    EXPECT_EQ(hub.CountOf("homeassistant/switch/qdl4816/rack2_outlet1/config", "", from), 0u);

    from = hub.Count();
    bridge.Signal(SIGTERM);
    const ProgramResult ended = bridge.Finish();
    EXPECT_EQ(ended.ExitCode, 0) << ended.Err;
    EXPECT_GE(hub.WaitFor("qdl4816/bridge/availability", "offline", from), 0);
}

} // namespace
} // namespace qdl::test
