// The bridge against what may come at it from its switches and its operators: bytes no UTF-8
// reader takes, reloads beside hanging and slow switches, cycles across a reload and a stop, and
// Home Assistant announcing itself over and over.
#include "BridgeFixture.h"
#include "ScriptedSwitch.h"
#include "TextUtil.h"

namespace qdl::test {
namespace {

standin::Faults Hanging() {
    standin::Faults faults;
    faults.Hang = true;
    return faults;
}

standin::Faults Slow(std::chrono::milliseconds time) {
    standin::Faults faults;
    faults.Slow = time;
    return faults;
}

std::string HttpReply(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

// Every message the hub saw is valid UTF-8, and every document (discovery, errors) parses.
void ExpectOnlyUtf8AndJson(const Hub& hub) {
    for (const Message& message : hub.Messages()) {
        EXPECT_TRUE(IsValidUtf8(message.Topic)) << AsciiPrintable(message.Topic);
        EXPECT_TRUE(IsValidUtf8(message.Payload)) << message.Topic << ": " << AsciiPrintable(message.Payload, 200);
        const bool document = message.Topic.size() > 6 && (message.Topic.rfind("/config") == message.Topic.size() - 7 ||
                                                           message.Topic.rfind("/error") == message.Topic.size() - 6);
        if (document && !message.Payload.empty()) {
            EXPECT_TRUE(nlohmann::json::accept(message.Payload)) << message.Topic;
        }
    }
}

// Replies with a stray 8-bit byte, a Latin-1 busy page, and UTF-8 that the reply's reading cuts
// inside a character: the switch is offline with the reason escaped, the other switch and the
// bridge go on.
TEST_F(BridgeTest, NoBytesASwitchSendsEndTheBridge) {
    ScriptedSwitch odd;
    const std::string mountains = "\xe5\xb1\xb1\xe5\xb1\xb1\xe5\xb1\xb1\xe5\xb1\xb1\xe5\xb1\xb1\xe5\xb1\xb1\xe5\xb1\xb1\xe5\xb1\xb1";
    const struct {
        std::string Body, Shown;
    } rows[] = {
        {"<html>P60=\xff,P61=0,P62=0,P63=0</html>", "\\xFF"},
        {"<html>Occup\xe9: try again later</html>", "Occup\\xE9"},
        {"<html>P60=" + mountains + ",P61=0,P62=0,P63=0</html>", "\xe5\xb1\xb1"},
    };
    Hub hub(broker->Port());
    RunningBridge bridge(Settings(Section("odd", odd.Port()) + Section("rack1", rack1.Port())));
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/availability", "online"), 0);
    for (const auto& row : rows) {
        odd.DefaultAnswer({HttpReply(row.Body)});
        const std::size_t from = hub.Count();
        // The first error may still be about the answer before.
        bool shown = false;
        for (std::size_t next = from, tries = 0; !shown && tries < 3; ++tries) {
            const int error = hub.WaitFor("qdl4816/odd/error", "", next, 5s);
            ASSERT_GE(error, 0) << AsciiPrintable(row.Body);
            const std::string message =
                nlohmann::json::parse(hub.Messages()[static_cast<std::size_t>(error)].Payload).at("message");
            shown = message.find(row.Shown) != std::string::npos;
            next = static_cast<std::size_t>(error) + 1;
        }
        EXPECT_TRUE(shown) << AsciiPrintable(row.Body);
    }
    EXPECT_GE(hub.WaitFor("qdl4816/odd/availability", "offline"), 0);
    const std::size_t from = hub.Count();
    hub.Publish("qdl4816/rack1/outlet/1/set", "ON");
    EXPECT_GE(hub.WaitFor("qdl4816/rack1/outlet/1/state", "ON", from), 0) << "the other switch still serves";
    ExpectOnlyUtf8AndJson(hub);
}

// A reload (SIGHUP) beside a hanging switch and a slow one with commands waiting: it waits for
// neither, a healthy switch's command is confirmed within a second, the connection never drops
// (no will), and the slow switch's waiting commands are all applied.
TEST_F(BridgeTest, AReloadBesideBusySwitchesHoldsNobody) {
    Switch hanging(Hanging()), slow(Slow(150ms));
    const std::string text = Section("rack1", rack1.Port()) + Section("hanging", hanging.Port()) +
                             Section("slow", slow.Port());
    Hub hub(broker->Port());
    RunningBridge bridge(Settings(text));
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/1/state", "OFF"), 0);
    ASSERT_GE(hub.WaitFor("qdl4816/slow/outlet/4/state", "OFF"), 0);
    const std::size_t from = hub.Count();
    for (int outlet = 1; outlet <= 4; ++outlet)
        hub.Publish("qdl4816/slow/outlet/" + std::to_string(outlet) + "/set", "ON");
    // The slow switch has done one of them: the other three wait.
    ASSERT_GE(hub.WaitFor("qdl4816/slow/outlet/1/state", "ON", from), 0);
    const auto start = Clock::now();
    bridge.Reload(Settings(text));
    EXPECT_LT(Clock::now() - start, 200ms) << "a reload waits for no switch";
    const auto sent = Clock::now();
    hub.Publish("qdl4816/rack1/outlet/1/set", "ON");
    const int confirmed = hub.WaitFor("qdl4816/rack1/outlet/1/state", "ON", from, 1s);
    ASSERT_GE(confirmed, 0);
    EXPECT_LT(hub.Times()[static_cast<std::size_t>(confirmed)] - sent, 1s);
    for (int outlet = 1; outlet <= 4; ++outlet)
        EXPECT_GE(hub.WaitFor("qdl4816/slow/outlet/" + std::to_string(outlet) + "/state", "ON", from, 20s), 0)
            << "outlet " << outlet << ": the queue stays across the reload";
    EXPECT_EQ(hub.CountOf("qdl4816/bridge/availability", "offline", from), 0u) << "no will";
}

// The moments outlet `outlet` was switched off and then on again by SetPower requests.
std::vector<std::pair<Clock::time_point, Clock::time_point>> OffTimes(const Switch& on, int outlet) {
    const std::string off = "P6" + std::to_string(outlet - 1) + "=0", back = "P6" + std::to_string(outlet - 1) + "=1";
    std::vector<std::pair<Clock::time_point, Clock::time_point>> times;
    std::optional<Clock::time_point> since;
    for (const TimedLines::Line& line : on.Requests()) {
        if (line.Text.find("CMD=SetPower") == std::string::npos)
            continue;
        if (line.Text.find(off) != std::string::npos && !since)
            since = line.Time;
        else if (line.Text.find(back) != std::string::npos && since)
            times.emplace_back(*std::exchange(since, std::nullopt), line.Time);
    }
    return times;
}

// A cycle keeps the outlet off its whole time across a reload, and so does the one queued behind
// it; a stop cuts a cycle short and says so, with the outlet on again.
TEST_F(BridgeTest, CyclesKeepTheirTimeAcrossAReloadAndAStopSaysItCutOne) {
    rack1.Set(2, true);
    const std::string text = Section("rack1", rack1.Port());
    Hub hub(broker->Port());
    auto bridge = std::make_unique<RunningBridge>(Settings(text, "CycleSeconds=2\n"));
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/2/state", "ON"), 0);
    hub.Publish("qdl4816/rack1/outlet/2/set", "CYCLE");
    ASSERT_TRUE(Eventually([&] { return !rack1.Read()[1]; }));
    bridge->Reload(Settings(text, "CycleSeconds=2\n"));
    hub.Publish("qdl4816/rack1/outlet/2/set", "CYCLE");
    EXPECT_TRUE(Eventually([&] { return OffTimes(rack1, 2).size() >= 2; }, 15s));
    const auto cycles = OffTimes(rack1, 2);
    ASSERT_EQ(cycles.size(), 2u);
    for (const auto& [off, on] : cycles)
        EXPECT_GE(on - off, 1950ms) << "off the whole CycleSeconds";

    const std::size_t from = hub.Count();
    bridge = std::make_unique<RunningBridge>(Settings(text, "CycleSeconds=60\n"));
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/2/state", "ON", from), 0);
    hub.Publish("qdl4816/rack1/outlet/2/set", "CYCLE");
    ASSERT_TRUE(Eventually([&] { return !rack1.Read()[1]; }));
    const auto stopping = Clock::now();
    bridge->Stop();
    EXPECT_LT(Clock::now() - stopping, 5s);
    EXPECT_TRUE(rack1.Read()[1]) << "on again";
    const int said = hub.WaitFor("qdl4816/rack1/error", "", from);
    ASSERT_GE(said, 0);
    const auto error = nlohmann::json::parse(hub.Messages()[static_cast<std::size_t>(said)].Payload);
    EXPECT_EQ(error.at("kind"), "stopped");
    EXPECT_EQ(error.at("outlet"), 2);
    EXPECT_NE(error.at("message").get<std::string>().find("cut short"), std::string::npos) << error.dump();
}

// Two hundred "online" from Home Assistant at once, with fifty switches: everything is said again
// once, a moment later, not two hundred times.
TEST_F(BridgeTest, HomeAssistantAnnouncingItselfOverAndOverIsAnsweredOnce) {
    std::string text;
    for (int i = 0; i < 50; ++i)
        text += Section("s" + std::to_string(i), rack1.Port());
    Hub hub(broker->Port());
    RunningBridge bridge(Settings(text, "PollSeconds=60\n"));
    const std::string first = "homeassistant/switch/qdl4816/s0_outlet1/config";
    ASSERT_GE(hub.WaitFor("homeassistant/button/qdl4816/s49_outlet4_cycle/config"), 0);
    const std::size_t from = hub.Count();
    for (int i = 0; i < 200; ++i)
        hub.Publish("homeassistant/status", "online");
    EXPECT_GE(hub.WaitFor(first, "", from, 7s), 0) << "said again within 5 s";
    hub.WaitFor("hub/never", "", 0, 5500ms); // past the longest delay a second answer could take
    EXPECT_EQ(hub.CountOf(first, "", from), 1u);
    std::size_t documents = 0;
    const auto messages = hub.Messages();
    for (std::size_t i = from; i < messages.size(); ++i)
        documents += messages[i].Topic.rfind("/config") == messages[i].Topic.size() - 7;
    EXPECT_EQ(documents, 50u * 8) << "one document for each entity of each switch, once";
}

} // namespace
} // namespace qdl::test
