// The bridge on a broker it shares: with another bridge on the same prefix or with the same client
// id, with clients that publish retained or huge commands, with a broker that knows only MQTT
// 3.1.1, and behind a certificate it must not trust.
#include "BridgeFixture.h"
#include "TextUtil.h"

#include <poll.h>

#include <list>
#include <regex>

namespace qdl::test {
namespace {

// A broker that speaks only MQTT 3.1.1, as older ones do: a CONNECT for MQTT 5 is answered
// "unacceptable protocol version" (a 3.1.1 CONNACK) and closed; any other connection is passed on
// to the real broker.
class OldBroker {
public:
    explicit OldBroker(int target) : target_(target) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
        ::listen(listener_, 16);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        if (::pipe(wake_) != 0)
            throw std::runtime_error("no pipe");
        accepting_ = std::thread([this] { Accept(); });
    }
    ~OldBroker() {
        (void)!::write(wake_[1], "x", 1); // stays readable: every wait below ends
        accepting_.join();
        for (std::thread& connection : connections_)
            connection.join();
        ::close(listener_);
        ::close(wake_[0]);
        ::close(wake_[1]);
    }
    int Port() const { return port_; }
    int RefusedFive() const { return refusedFive_; }

private:
    // Waits until `socket` can be read; false once the broker stops.
    bool Readable(int socket) const {
        pollfd waits[] = {{socket, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        return ::poll(waits, 2, -1) > 0 && !(waits[1].revents & POLLIN);
    }
    void Accept() {
        while (Readable(listener_)) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0)
                connections_.emplace_back([this, client] { Serve(client); });
        }
    }
    // The fixed header, the remaining length and the protocol level of a CONNECT.
    std::string ReadConnect(int client) const {
        std::string head;
        char byte = 0;
        for (std::size_t wanted = 2; head.size() < wanted;) {
            if (!Readable(client) || ::read(client, &byte, 1) != 1)
                return "";
            head += byte;
            if (head.size() >= 2 && head.size() <= 5 && (static_cast<unsigned char>(byte) & 0x80) == 0 && wanted == 2) {
                std::size_t length = 0;
                for (std::size_t i = head.size() - 1; i >= 1; --i)
                    length = length * 128 + (static_cast<unsigned char>(head[i]) & 0x7f);
                wanted = head.size() + length;
            }
        }
        return head;
    }
    void Serve(int client) {
        const std::string connect = ReadConnect(client);
        const std::size_t level = connect.find("MQTT");
        if (level == std::string::npos || level + 4 >= connect.size()) {
            ::close(client);
            return;
        }
        if (connect[level + 4] == 5) {
            ++refusedFive_;
            (void)!::write(client, "\x20\x02\x00\x01", 4);
            ::close(client);
            return;
        }
        const int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(target_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(upstream, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::write(upstream, connect.data(), connect.size()) == static_cast<ssize_t>(connect.size()))
            Relay(client, upstream);
        ::close(upstream);
        ::close(client);
    }
    void Relay(int a, int b) const {
        char buffer[16384];
        for (;;) {
            pollfd waits[] = {{a, POLLIN, 0}, {b, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (::poll(waits, 3, -1) <= 0 || (waits[2].revents & POLLIN))
                return;
            for (int i = 0; i < 2; ++i)
                if (waits[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                    const ssize_t got = ::read(waits[i].fd, buffer, sizeof buffer);
                    if (got <= 0 || ::write(waits[1 - i].fd, buffer, static_cast<std::size_t>(got)) != got)
                        return;
                }
        }
    }

    int target_, listener_ = -1, port_ = 0;
    int wake_[2] = {-1, -1};
    std::atomic<int> refusedFive_{0};
    std::list<std::thread> connections_;
    std::thread accepting_;
};

// A second bridge on the prefix another bridge serves is refused and publishes nothing: both the
// first one's entities and its availability stay.
TEST_F(BridgeTest, ASecondBridgeOnAPrefixIsRefusedAndTheFirstKeepsItsEntities) {
    Hub hub(broker->Port());
    RunningBridge first(Settings(Section("rack1", rack1.Port()), "ClientId=first\n"));
    ASSERT_GE(hub.WaitFor("homeassistant/switch/qdl4816/rack1_outlet1/config"), 0);
    ASSERT_GE(hub.WaitFor("qdl4816/bridge/owner", "first"), 0);
    const std::size_t from = hub.Count();
    {
        RunningBridge second(Settings(Section("rack2", rack2.Port()), "ClientId=second\n"));
        ASSERT_TRUE(Eventually([&] { return !second.ClaimRefused().empty(); }));
        EXPECT_NE(second.ClaimRefused().find("client id first"), std::string::npos) << second.ClaimRefused();
    }
    // Once the first says something more, the second's messages would have come before it.
    hub.Publish("qdl4816/rack1/outlet/1/set", "ON");
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/1/state", "ON", from), 0);
    const std::vector<Message> messages = hub.Messages();
    for (std::size_t i = from; i < messages.size(); ++i) {
        const Message& message = messages[i];
        EXPECT_EQ(message.Topic.find("rack2"), std::string::npos) << message.Topic;
        EXPECT_FALSE(message.Topic.find("/config") != std::string::npos && message.Payload.empty())
            << "removed " << message.Topic;
        EXPECT_FALSE(message.Topic == "qdl4816/bridge/availability" && message.Payload != "online");
    }
    // Once the first is gone, the prefix is free.
    first.Stop();
}

// A broker whose ACL does not let the bridge write its check topic never sends it back: the bridge
// says so and serves anyway, a few seconds later.
TEST(BridgeAclTest, ABrokerThatHidesTheClaimDelaysTheBridgeOnly) {
    TempFolder folder;
    WriteBytes(folder.File("acl"), "topic read #\ntopic write qdl4816/+/availability\ntopic write qdl4816/+/outlet/+/#\n"
                                   "topic write qdl4816/+/error\ntopic write qdl4816/bridge/owner\n"
                                   "topic write homeassistant/#\ntopic write hub/#\n");
    const int port = FreePort();
    test::Broker broker(folder, port, "allow_anonymous true\nacl_file " + folder.File("acl") + "\n");
    Switch rack1;
    Hub hub(port);
    const auto start = Clock::now();
    RunningBridge bridge(BridgeSettings::Read(PrivateFile(
        folder, "[mqtt]\nHost=127.0.0.1\nPort=" + std::to_string(port) + "\nPollSeconds=1\n\n" +
                    Section("rack1", rack1.Port()))));
    const int online = hub.WaitFor("qdl4816/bridge/availability", "online", 0, 10s);
    ASSERT_GE(online, 0);
    EXPECT_GE(hub.Times()[static_cast<std::size_t>(online)] - start, 4s) << "after the wait for the claim";
    for (const Message& message : hub.Messages())
        EXPECT_NE(message.Topic.rfind("qdl4816/bridge/check/", 0), 0u) << "the ACL lets it through";
    const std::size_t from = hub.Count();
    hub.Publish("qdl4816/rack1/outlet/1/set", "ON");
    EXPECT_GE(hub.WaitFor("qdl4816/rack1/outlet/1/state", "ON", from), 0);
}

// Two bridges with one client id (and prefixes of their own): the broker hands the session back
// and forth; each bridge sees it taken, says why, and waits a minute before it takes it back:
// no loop of wills.
TEST_F(BridgeTest, TwoBridgesWithOneClientIdSayWhyAndDoNotLoop) {
    Hub hub(broker->Port());
    RunningBridge one(Settings(Section("rack1", rack1.Port()), "ClientId=twin\nPrefix=one\n"));
    ASSERT_GE(hub.WaitFor("one/bridge/availability", "online"), 0);
    const std::size_t from = hub.Count();
    RunningBridge two(Settings(Section("rack2", rack2.Port()), "ClientId=twin\nPrefix=two\n"));
    ASSERT_GE(hub.WaitFor("two/bridge/availability", "online", from), 0);
    hub.WaitFor("hub/never", "", 0, 8s); // what a loop of takeovers would fill with wills
    EXPECT_LE(hub.CountOf("one/bridge/availability", "offline", from) +
                  hub.CountOf("two/bridge/availability", "offline", from),
              1u);
    const auto reasons = one.RefusalReasons();
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_NE(reasons[0].find("another client with the client id twin has probably taken the session"),
              std::string::npos)
        << reasons[0];
    EXPECT_TRUE(two.RefusalReasons().empty());
}

// With MQTT 5 a retained command is told apart also when it is published while the bridge is
// connected: never applied, and removed from the broker. A command too big for any switch never
// reaches the bridge.
TEST_F(BridgeTest, RetainedAndHugeCommandsPublishedLiveAreNeverApplied) {
    Hub hub(broker->Port());
    RunningBridge bridge(Settings(Section("rack1", rack1.Port())));
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/1/state", "OFF"), 0);
    EXPECT_EQ(bridge.ProtocolVersion(), 5);
    std::size_t from = hub.Count();
    hub.Publish("qdl4816/rack1/outlet/1/set", "ON", true);
    hub.Publish("qdl4816/rack1/outlet/2/set", std::string(1 << 20, 'O'));
    hub.Publish("qdl4816/rack1/outlet/3/set", "ON");
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/3/state", "ON", from), 0);
    EXPECT_FALSE(rack1.Read()[0]) << "the retained ON";
    EXPECT_LT(bridge.LargestPayload(), 64u * 1024);
    EXPECT_TRUE(Eventually([&] {
        const std::vector<Message> messages = hub.Messages();
        return std::any_of(messages.begin() + static_cast<long>(from), messages.end(), [](const Message& message) {
            return message.Topic == "qdl4816/rack1/outlet/1/set" && message.Payload.empty();
        });
    })) << "removed from the broker";
}

// A broker that knows only MQTT 3.1.1 refuses MQTT 5 once; the bridge says so and works on 3.1.1.
TEST_F(BridgeTest, ABrokerOfMqtt311IsServedAfterOneRefusal) {
    OldBroker old(broker->Port());
    Hub hub(broker->Port());
    const std::string text = "[mqtt]\nHost=127.0.0.1\nPort=" + std::to_string(old.Port()) +
                             "\nPollSeconds=1\nClientId=old-broker\n\n" + Section("rack1", rack1.Port());
    RunningBridge bridge(BridgeSettings::Read(PrivateFile(folder, text)));
    ASSERT_GE(hub.WaitFor("qdl4816/rack1/outlet/2/state", "OFF"), 0);
    const std::size_t from = hub.Count();
    hub.Publish("qdl4816/rack1/outlet/2/set", "ON");
    EXPECT_GE(hub.WaitFor("qdl4816/rack1/outlet/2/state", "ON", from), 0);
    EXPECT_EQ(old.RefusedFive(), 1);
    EXPECT_EQ(bridge.ProtocolVersion(), 4);
    ASSERT_EQ(bridge.Refusals(), 1);
    EXPECT_NE(bridge.RefusalReasons()[0].find("Unsupported Protocol Version"), std::string::npos)
        << bridge.RefusalReasons()[0];
}

// Behind a certificate from an authority it does not trust, the bridge says why at every attempt
// and tries again 1, 2 and 4 s apart.
TEST(BridgeTlsTest, AnUntrustedCertificateIsSaidAtEveryAttemptWithGrowingDelays) {
    TempFolder folder;
    ASSERT_TRUE(MakeCertificates(folder, "served"));
    ASSERT_TRUE(MakeCertificates(folder, "trusted"));
    const int port = FreePort();
    test::Broker broker(folder, port,
                        "cafile " + folder.File("served.crt") + "\ncertfile " + folder.File("served-server.crt") +
                            "\nkeyfile " + folder.File("served-server.key") + "\nallow_anonymous true\n");
    Switch rack1;
    const std::string path = PrivateFile(folder, "[mqtt]\nHost=127.0.0.1\nPort=" + std::to_string(port) +
                                                     "\nCAFile=" + folder.File("trusted.crt") + "\n\n" +
                                                     Section("rack1", rack1.Port()));
    RunningBridge bridge(BridgeSettings::Read(path));
    ASSERT_TRUE(Eventually([&] { return bridge.Refusals() >= 4; }, 12s));
    for (const std::string& reason : bridge.RefusalReasons())
        EXPECT_NE(reason.find("certificate verify failed"), std::string::npos) << reason;
    const auto times = bridge.RefusalTimes();
    for (std::size_t i = 1; i < 4; ++i) {
        const auto gap = times[i] - times[i - 1];
        const auto expected = std::chrono::seconds(1 << (i - 1));
        EXPECT_GE(gap, expected - 100ms) << i;
        EXPECT_LE(gap, expected + 900ms) << i;
    }
}

} // namespace
} // namespace qdl::test
