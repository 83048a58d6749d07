// The bridge against the real mosquitto broker, started by the test on a free loopback port, and
// stand-in switches in this process; a client of the test's own stands in for Home Assistant.
#include "BridgeFixture.h"

#include <regex>

namespace qdl::test {
namespace {

// Discovery documents parse and carry what Home Assistant requires; a change made by another
// program shows within one poll.
TEST_F(BridgeTest, DiscoveryDescribesEachOutletAndStatesFollowTheSwitch) {
    Hub hub(broker->Port());
    RunningBridge bridge(Settings(Section("rack1", rack1.Port(), "Outlet2=lamp\nOutlet4Commands=0") +
                                  Section("rack2", rack2.Port())));
    for (const char* name : {"rack1", "rack2"})
        for (int outlet = 1; outlet <= 3; ++outlet) {
            const std::string id = std::string(name) + "_outlet" + std::to_string(outlet);
            const int at = hub.WaitFor("homeassistant/switch/qdl4816/" + id + "/config");
            ASSERT_GE(at, 0) << id;
            const auto document = nlohmann::json::parse(hub.Messages()[static_cast<std::size_t>(at)].Payload);
            EXPECT_EQ(document.at("unique_id"), "qdl4816_" + id);
            EXPECT_EQ(document.at("device_class"), "outlet");
            EXPECT_EQ(document.at("command_topic"),
                      std::string("qdl4816/") + name + "/outlet/" + std::to_string(outlet) + "/set");
            EXPECT_EQ(document.at("state_topic"),
                      std::string("qdl4816/") + name + "/outlet/" + std::to_string(outlet) + "/state");
            EXPECT_EQ(document.at("availability_mode"), "all");
            EXPECT_EQ(document.at("availability").size(), 2u);
            EXPECT_EQ(document.at("device").at("model"), "Quadrel 4816");
            EXPECT_EQ(document.at("origin").at("name"), "qdl4816-mqtt");
            EXPECT_EQ(document.at("origin").at("sw_version"), "9.9.9");
            EXPECT_TRUE(document.at("origin").contains("support_url"));
            EXPECT_EQ(document.at("device").at("identifiers").at(0), std::string("qdl4816_") + name);
            EXPECT_EQ(document.at("device").at("configuration_url"),
                      "http://127.0.0.1:" +
                          std::to_string(std::string(name) == "rack1" ? rack1.Port() : rack2.Port()) + "/");
            if (std::string(name) == "rack1" && outlet == 2) {
                EXPECT_EQ(document.at("name"), "lamp");
            }
            const int button = hub.WaitFor("homeassistant/button/qdl4816/" + id + "_cycle/config");
            ASSERT_GE(button, 0);
            EXPECT_EQ(nlohmann::json::parse(hub.Messages()[static_cast<std::size_t>(button)].Payload)
                          .at("payload_press"),
                      "CYCLE");
        }
    const int sensor = hub.WaitFor("homeassistant/binary_sensor/qdl4816/rack1_outlet4/config");
    ASSERT_GE(sensor, 0) << "an outlet without commands is a binary sensor";
    EXPECT_EQ(nlohmann::json::parse(hub.Messages()[static_cast<std::size_t>(sensor)].Payload)
                  .count("command_topic"),
              0u);
    EXPECT_GE(hub.WaitFor("qdl4816/rack1/outlet/3/state", "OFF"), 0);
    const std::size_t before = hub.Count();
    rack1.Set(3, true); // as qdlctl on 3 does
    EXPECT_GE(hub.WaitFor("qdl4816/rack1/outlet/3/state", "ON", before, 3s), 0) << "within one poll";
}

// A command is applied by the checked change, and its state published only once the switch shows
// it; an outlet without commands, bad payloads, a huge one and unknown topics switch nothing.
TEST_F(BridgeTest, CommandsSwitchAndOnlyThenPublishAndNothingElseSwitches) {
    rack1.Set(2, true);
    Hub hub(broker->Port());
    RunningBridge bridge(Settings(Section("rack1", rack1.Port(), "Outlet4Commands=0")));
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/2/state", "ON"), 0);
    std::size_t from = hub.Count();
    hub.Publish("qdl4816/rack1/outlet/2/set", "OFF");
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/2/state", "OFF", from), 0);
    EXPECT_FALSE(rack1.Read()[1]) << "published OFF while the switch shows it";

    for (const auto& [topic, payload] : std::vector<std::pair<std::string, std::string>>{
             {"qdl4816/rack1/outlet/4/set", "ON"},
             {"qdl4816/rack1/outlet/1/set", "on"},
             {"qdl4816/rack1/outlet/1/set", ""},
             {"qdl4816/rack1/outlet/1/set", "ON\n"},
             {"qdl4816/rack1/outlet/1/set", std::string(1 << 20, 'O')},
             {"qdl4816/rack1/outlet/5/set", "ON"},
             {"qdl4816/RACK1/outlet/1/set", "ON"},
             {"qdl4816/nowhere/outlet/1/set", "ON"}})
        hub.Publish(topic, payload);
    // A marker command after them all: once it shows, the ones before were handled.
    from = hub.Count();
    hub.Publish("qdl4816/rack1/outlet/3/set", "ON");
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/3/state", "ON", from), 0);
    const auto shown = rack1.Read();
    EXPECT_FALSE(shown[0]);
    EXPECT_FALSE(shown[3]);
}

// A thousand commands for one outlet in a moment: the last one wins, and the switch sees far
// fewer writes.
TEST_F(BridgeTest, AFloodOfCommandsEndsAsTheLastOneAsks) {
    Hub hub(broker->Port());
    RunningBridge bridge(Settings(Section("rack1", rack1.Port())));
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/1/state", "OFF"), 0);
    for (int i = 0; i < 1000; ++i)
        hub.Publish("qdl4816/rack1/outlet/1/set", i % 2 == 0 ? "ON" : "OFF");
    hub.Publish("qdl4816/rack1/outlet/1/set", "ON");
    // Two commands for another outlet after the flood: once the second shows, a whole round of
    // the switch's commands came after the last one for outlet 1.
    for (const char* marker : {"ON", "OFF"}) {
        const std::size_t from = hub.Count();
        hub.Publish("qdl4816/rack1/outlet/2/set", marker);
        ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/2/state", marker, from, 20s), 0);
    }
    EXPECT_TRUE(rack1.Read()[0]);
    std::size_t changes = 0;
    for (const Message& message : hub.Messages())
        changes += message.Topic == "qdl4816/rack1/outlet/1/state";
    EXPECT_LT(changes, 200u) << "each state change is a write the switch saw";
}

// A switch that cannot be read is offline, with the reason, and its states stay as they were;
// back again, it is online.
TEST_F(BridgeTest, AStoppedSwitchIsOfflineWithItsStatesKept) {
    rack1.Set(1, true);
    Hub hub(broker->Port());
    RunningBridge bridge(Settings(Section("rack1", rack1.Port())));
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/availability", "online"), 0);
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/1/state", "ON"), 0);
    const int port = rack1.Port();
    std::size_t from = hub.Count();
    rack1.Stop();
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/availability", "offline", from), 0);
    const int error = hub.WaitFor("qdl4816/rack1/error", "", from);
    ASSERT_GE(error, 0);
    const auto reason = nlohmann::json::parse(hub.Messages()[static_cast<std::size_t>(error)].Payload);
    EXPECT_EQ(reason.at("kind"), "refused") << reason.dump();
    for (std::size_t i = from; i < hub.Count(); ++i)
        EXPECT_FALSE(hub.Messages()[i].Topic == "qdl4816/rack1/outlet/1/state" &&
                     hub.Messages()[i].Payload == "OFF")
            << "never a guessed OFF";
    from = hub.Count();
    rack1.Start(port);
    EXPECT_GE(hub.WaitFor("qdl4816/rack1/availability", "online", from), 0);
}

// A command the broker kept (retained) is never applied, at start or after the broker comes back;
// the bridge reconnects and says all again.
TEST_F(BridgeTest, RetainedCommandsAreNeverAppliedAndAReconnectSaysAllAgain) {
    {
        Hub early(broker->Port());
        early.Publish("qdl4816/rack1/outlet/1/set", "ON", true);
        early.Publish("qdl4816/marker", "1");
        ASSERT_GE(early.WaitFor("qdl4816/marker"), 0);
    }
    auto bridge = std::make_unique<RunningBridge>(Settings(Section("rack1", rack1.Port())));
    {
        Hub hub(broker->Port());
        ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/1/state", "OFF"), 0);
    }
    const int port = broker->Port();
    broker.reset();
    broker = std::make_unique<test::Broker>(folder, port);
    Hub hub(broker->Port());
    hub.Publish("qdl4816/rack1/outlet/2/set", "ON", true);
    EXPECT_GE(hub.WaitFor("qdl4816/bridge/availability", "online", 0, 90s), 0) << "reconnected";
    EXPECT_GE(hub.WaitFor("homeassistant/switch/qdl4816/rack1_outlet1/config"), 0);
    EXPECT_GE(hub.WaitFor("qdl4816/rack1/outlet/2/state", "OFF"), 0);
    const std::size_t from = hub.Count();
    hub.Publish("qdl4816/rack1/outlet/3/set", "ON");
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/3/state", "ON", from), 0);
    const auto shown = rack1.Read();
    EXPECT_FALSE(shown[0]) << "the retained ON before the start";
    EXPECT_FALSE(shown[1]) << "the retained ON after the reconnect";
}

// Discovery is said again when Home Assistant announces itself; a switch no longer configured
// loses its entities (empty retained documents), also when the bridge was down meanwhile.
TEST_F(BridgeTest, DiscoveryFollowsHomeAssistantAndTheConfiguration) {
    Hub hub(broker->Port());
    {
        RunningBridge both(Settings(Section("rack1", rack1.Port()) + Section("rack2", rack2.Port())));
        ASSERT_GE(hub.WaitFor("homeassistant/switch/qdl4816/rack2_outlet4/config"), 0);
        const std::size_t from = hub.Count();
        hub.Publish("homeassistant/status", "online");
        // All of it, so that none of it is still on its way once the second bridge starts.
        for (const char* name : {"rack1", "rack2"})
            for (int outlet = 1; outlet <= 4; ++outlet) {
                const std::string entity = std::string(name) + "_outlet" + std::to_string(outlet);
                EXPECT_GE(hub.WaitFor("homeassistant/switch/qdl4816/" + entity + "/config", "", from), 0);
                EXPECT_GE(hub.WaitFor("homeassistant/button/qdl4816/" + entity + "_cycle/config", "", from), 0);
            }
    }
    const std::size_t from = hub.Count();
    RunningBridge one(Settings(Section("rack1", rack1.Port())));
    for (const char* topic : {"homeassistant/switch/qdl4816/rack2_outlet1/config",
                              "homeassistant/button/qdl4816/rack2_outlet4_cycle/config"}) {
        const int removed = hub.WaitFor(topic, "", from);
        ASSERT_GE(removed, 0) << topic;
        // The first message on it since is the removal, an empty document.
        EXPECT_EQ(hub.Messages()[static_cast<std::size_t>(removed)].Payload, "") << topic;
    }
    const int kept = hub.WaitFor("homeassistant/switch/qdl4816/rack1_outlet1/config", "", from);
    ASSERT_GE(kept, 0);
    EXPECT_NE(hub.Messages()[static_cast<std::size_t>(kept)].Payload, "");
}

// A reload (SIGHUP) that drops a switch removes its entities and says it is offline.
TEST_F(BridgeTest, AReloadWithoutASwitchRemovesItsEntities) {
    Hub hub(broker->Port());
    RunningBridge bridge(Settings(Section("rack1", rack1.Port()) + Section("rack2", rack2.Port())));
    ASSERT_GE(hub.WaitFor("qdl4816/rack2/availability", "online"), 0);
    ASSERT_GE(hub.WaitFor("homeassistant/switch/qdl4816/rack2_outlet2/config"), 0);
    const std::size_t from = hub.Count();
    bridge.Reload(Settings(Section("rack1", rack1.Port())));
    EXPECT_GE(hub.WaitFor("qdl4816/rack2/availability", "offline", from), 0);
    const int removed = hub.WaitFor("homeassistant/switch/qdl4816/rack2_outlet2/config", "", from);
    ASSERT_GE(removed, 0);
    EXPECT_EQ(hub.Messages()[static_cast<std::size_t>(removed)].Payload, "");
    const std::size_t after = hub.Count();
    hub.Publish("qdl4816/rack1/outlet/1/set", "ON");
    EXPECT_GE(hub.WaitFor("qdl4816/rack1/outlet/1/state", "ON", after), 0) << "the kept switch still serves";
}

int ExitCodeOf(const std::vector<std::string>& argv) {
    return RunProgram(argv).ExitCode;
}

// A broker that takes only TLS and a password: the bridge with the right password comes online;
// with a wrong one it is refused, says so, and tries again with growing delays.
TEST(BridgeTlsTest, TlsAndAPasswordAreUsedAndAWrongPasswordIsRetried) {
    TempFolder folder;
    const auto file = [&](const char* name) { return folder.File(name); };
    ASSERT_TRUE(MakeCertificates(folder, "ca"));
    WriteBytes(file("passwd"), "");
    ASSERT_EQ(ExitCodeOf({MOSQUITTO_PASSWD_PATH, "-b", file("passwd"), "bridge", "s3cret"}), 0);
    ::chmod(file("passwd").c_str(), 0600);
    const int port = FreePort();
    test::Broker broker(folder, port,
                        "cafile " + file("ca.crt") + "\ncertfile " + file("ca-server.crt") + "\nkeyfile " +
                            file("ca-server.key") + "\npassword_file " + file("passwd") +
                            "\nallow_anonymous false\n");
    Switch rack1;
    BrokerSettings hubSide = Plain(port);
    hubSide.CAFile = file("ca.crt");
    hubSide.UserName = "bridge";
    hubSide.Password = "s3cret";
    Hub hub(hubSide);
    for (const std::string password : {"s3cret", "wrong"}) {
        WriteBytes(file("broker.pass"), password + "\n");
        const std::string path = PrivateFile(
            folder, "[mqtt]\nHost=127.0.0.1\nPort=" + std::to_string(port) + "\nCAFile=" + file("ca.crt") +
                        "\nUserName=bridge\nPassFile=" + file("broker.pass") + "\nPollSeconds=1\n\n" +
                        Section("rack1", rack1.Port()));
        const std::size_t from = hub.Count();
        RunningBridge bridge(BridgeSettings::Read(path));
        if (password == "s3cret") {
            EXPECT_GE(hub.WaitFor("qdl4816/bridge/availability", "online", from), 0);
            EXPECT_EQ(bridge.Refusals(), 0);
        } else {
            // Refused at once, then again after about 1 s and 2 s: three refusals within 10 s.
            const auto until = Clock::now() + 10s;
            while (bridge.Refusals() < 3 && Clock::now() < until)
                hub.WaitFor("never", "", 0, 200ms);
            EXPECT_GE(bridge.Refusals(), 3);
            EXPECT_EQ(hub.WaitFor("qdl4816/bridge/availability", "online", from, 100ms), -1);
        }
    }
}

TEST(BridgeSettingsTest, NamesThatCannotBeTopicsOrLabelsAreRefusedWithTheirPlace) {
    TempFolder folder;
    const struct {
        std::string Text, Message;
    } rows[] = {
        {"[a/b]\nIPV4=h\nPass=x\n", "the switch [a/b] cannot name a topic"},
        {"[rack+]\nIPV4=h\nPass=x\n", "cannot name a topic"},
        {"[r\xff]\nIPV4=h\nPass=x\n", "not valid UTF-8"},
        {"[rack1]\nIPV4=h\nPass=x\nOutlet1=\xc3\x28\n", "switch rack1: Outlet1"},
        {"[mqtt]\nPort=0\n", "[mqtt]: Port '0' is no number from 1 to 65535"},
        {"[mqtt]\nPrefix=a/#\n", "Prefix 'a/#' is no topic without wildcards"},
        {"[mqtt]\nCertFile=c.pem\n", "CertFile and KeyFile go together"},
        {"[mqtt]\nPassFile=/nonexistent/pw\n", "its PassFile /nonexistent/pw cannot be read"},
        {"[Bridge]\nIPV4=h\nPass=x\n", "the switch [Bridge] has the name of the bridge's own topics"},
        {"[mqtt]\nPort=1883\n\n[rack1]\nIPV4=h\nPass=x\n; a second broker\n[MQTT]\nPort=80\n",
         "line 8: the section [MQTT] is given a second time (first at line 1)"},
        {"[rack1]\nIPV4=h\nPass=x\n[rack2]\nIPV4=h\nPass=x\n[RACK1]\nIPV4=g\nPass=x\n",
         "line 7: the section [RACK1] is given a second time (first at line 1)"},
        {"[mqtt]\nNodeId=a/b\n", "NodeId 'a/b' is not 1 to 64 letters"},
        {"[mqtt]\nProtocolVersion=3\n", "ProtocolVersion '3' is no number from 4 to 5"},
    };
    for (const auto& row : rows) {
        const std::string path = PrivateFile(folder, row.Text);
        try {
            BridgeSettings::Read(path);
            ADD_FAILURE() << row.Text;
        } catch (const control::ConfigError& failure) {
            EXPECT_NE(std::string(failure.what()).find(row.Message), std::string::npos) << failure.what();
        }
    }
    const std::string path =
        PrivateFile(folder, "[MQTT]\nPrefix=home/power\nPollSeconds=30\n\n[rack1]\nIPV4=h\nPass=x\n");
    const BridgeSettings settings = BridgeSettings::Read(path);
    EXPECT_EQ(settings.Switches.Switches().size(), 1u) << "[mqtt] is no switch, in any case";
    EXPECT_EQ(settings.Prefix, "home/power");
    EXPECT_EQ(settings.Poll, std::chrono::seconds(30));
    EXPECT_EQ(settings.NodeId, "home_2fpower") << "the node id of the documents made so far";
    EXPECT_EQ(settings.Broker.ProtocolVersion, 0) << "MQTT 5, and 3.1.1 where the broker needs it";
}

// Without a ClientId, each host and configuration file has its own: two bridges never take each
// other's session.
TEST(BridgeSettingsTest, TheDefaultClientIdIsTheHostsAndTheFilesOwn) {
    TempFolder folder;
    const std::string text = "[mqtt]\nHost=127.0.0.1\n";
    const std::string one = folder.File("one.ini"), two = folder.File("two.ini");
    for (const std::string& path : {one, two}) {
        WriteBytes(path, text);
        ::chmod(path.c_str(), 0600);
    }
    const std::string first = BridgeSettings::Read(one).Broker.ClientId;
    EXPECT_TRUE(std::regex_match(first, std::regex("qdl4816-mqtt-[A-Za-z0-9-]{1,32}-[0-9a-f]{8}"))) << first;
    EXPECT_EQ(BridgeSettings::Read(one).Broker.ClientId, first) << "the same after a restart";
    EXPECT_NE(BridgeSettings::Read(two).Broker.ClientId, first);
}

} // namespace
} // namespace qdl::test
