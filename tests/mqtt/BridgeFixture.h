#pragma once

// The bridge against the real mosquitto broker, started by the test on a free loopback port, and
// stand-in switches in this process; a client of the test's own stands in for Home Assistant.
#include "Bridge.h"
#include "BridgeSettings.h"
#include "Failures.h"
#include "MqttConnection.h"
#include "Outlets.h"
#include "RunProgram.h"
#include "SwitchServer.h"
#include "SwitchSession.h"
#include "TempFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <thread>
#include <ostream>
#include <streambuf>

namespace qdl::test {

using namespace mqtt;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(s);
    return ntohs(address.sin_port);
}

inline bool Listens(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return connected;
}

// The real broker, stopped (by its process id) when this goes.
class Broker {
public:
    Broker(const TempFolder& folder, int port, const std::string& extra = "") : port_(port) {
        const std::string config = folder.File("mosquitto-" + std::to_string(port) + ".conf");
        // Run as the superuser, the broker would become the user mosquitto, who may not read the
        // test's private files.
        WriteBytes(config, "listener " + std::to_string(port) +
                               " 127.0.0.1\npersistence false\nlog_dest none\n" +
                               (::geteuid() == 0 ? "user root\n" : "") +
                               (extra.empty() ? "allow_anonymous true\n" : extra));
        process_ = std::make_unique<Program>(std::vector<std::string>{MOSQUITTO_PATH, "-c", config});
        const auto until = Clock::now() + 10s;
        while (!Listens(port) && Clock::now() < until)
            std::this_thread::yield();
    }
    int Port() const { return port_; }

private:
    int port_;
    std::unique_ptr<Program> process_;
};

// Polls `condition` until it holds or `within` passes; whether it held.
template <typename Condition> bool Eventually(Condition condition, std::chrono::milliseconds within = 10s) {
    const auto until = Clock::now() + within;
    while (!condition()) {
        if (Clock::now() > until)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// The stand-in's log, each line with the moment it was written (just after its answer).
class TimedLines : public std::streambuf {
public:
    struct Line {
        Clock::time_point Time;
        std::string Text;
    };
    std::vector<Line> Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

protected:
    int overflow(int c) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (c == '\n')
            lines_.push_back({Clock::now(), std::exchange(current_, "")});
        else if (c != traits_type::eof())
            current_ += static_cast<char>(c);
        return c;
    }

private:
    mutable std::mutex mutex_;
    std::string current_;
    std::vector<Line> lines_;
};

// A stand-in switch in this process on a port of its own, kept across a stop and a start.
class Switch {
public:
    explicit Switch(standin::Faults faults = {}) : faults_(faults) { Start(0); }
    ~Switch() { Stop(); }
    void Start(int port) {
        SwitchOptions options;
        options.Port = port;
        options.Fail = faults_;
        server_ = std::make_unique<standin::SwitchServer>(state_, options, log_);
        port_ = server_->Bind();
        serving_ = std::thread([this] { server_->Serve(); });
    }
    void Stop() {
        if (!server_)
            return;
        server_->Stop();
        serving_.join();
        server_.reset();
    }
    int Port() const { return port_; }
    control::SwitchTarget Target() const {
        control::SwitchTarget target;
        target.Host = "127.0.0.1";
        target.Port = port_;
        target.UserName = "admin";
        target.Password = "40617253";
        return target;
    }
    // Each request the switch answered, in order, with when.
    std::vector<TimedLines::Line> Requests() const { return lines_.Lines(); }
    control::OutletStates Read() const {
        control::SwitchSession session(Target());
        return control::ReadOutlets(session);
    }
    void Set(int outlet, bool on) const {
        control::SwitchSession session(Target());
        control::ChangeOutlets(session, {{outlet, on}});
    }

private:
    using SwitchOptions = standin::SwitchOptions;
    standin::Faults faults_;
    standin::SwitchState state_{standin::CivilTime{2026, 12, 7, 12, 0, 0}};
    TimedLines lines_;
    std::ostream log_{&lines_};
    std::unique_ptr<standin::SwitchServer> server_;
    std::thread serving_;
    int port_ = 0;
};

inline BrokerSettings Plain(int port) {
    BrokerSettings broker;
    broker.Host = "127.0.0.1";
    broker.Port = port;
    return broker;
}

// What a hub sees: every message on every topic, in order.
class Hub {
public:
    explicit Hub(int port) : Hub(Plain(port)) {}
    explicit Hub(BrokerSettings broker) {
        broker.ClientId = "hub-" + std::to_string(::getpid());
        connection_ = std::make_unique<MqttConnection>(
            broker, "hub/gone", "1",
            MqttConnection::Callbacks{[this] {
                                          connection_->Subscribe("#");
                                          std::lock_guard<std::mutex> lock(mutex_);
                                          connected_ = true;
                                          arrived_.notify_all();
                                      },
                                      {},
                                      [this](const Message& message) {
                                          std::lock_guard<std::mutex> lock(mutex_);
                                          messages_.push_back(message);
                                          times_.push_back(Clock::now());
                                          arrived_.notify_all();
                                      }});
        connection_->Start();
        // Subscribed before anything is published: a subscription's answer comes before the
        // messages published after it.
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait_for(lock, 10s, [this] { return connected_; });
        connection_->Publish("hub/ready", "1", false);
        arrived_.wait_for(lock, 10s, [this] {
            for (const Message& message : messages_)
                if (message.Topic == "hub/ready")
                    return true;
            return false;
        });
    }
    void Publish(const std::string& topic, const std::string& payload, bool retain = false) {
        connection_->Publish(topic, payload, retain);
    }
    // Waits until a message on `topic` says `payload` (any, where empty), counting from message
    // number `from`; its number, or -1 after `within`.
    int WaitFor(const std::string& topic, const std::string& payload = "", std::size_t from = 0,
                std::chrono::milliseconds within = 10s) {
        std::unique_lock<std::mutex> lock(mutex_);
        int found = -1;
        arrived_.wait_for(lock, within, [&] {
            for (std::size_t i = from; i < messages_.size(); ++i)
                if (messages_[i].Topic == topic && (payload.empty() || messages_[i].Payload == payload))
                    return found = static_cast<int>(i), true;
            return false;
        });
        return found;
    }
    std::size_t Count() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_.size();
    }
    std::vector<Message> Messages() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    // When each message arrived.
    std::vector<Clock::time_point> Times() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return times_;
    }
    // How many messages on `topic` said `payload` (any, where empty) from message number `from` on.
    std::size_t CountOf(const std::string& topic, const std::string& payload = "", std::size_t from = 0) const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::size_t count = 0;
        for (std::size_t i = from; i < messages_.size(); ++i)
            count += messages_[i].Topic == topic && (payload.empty() || messages_[i].Payload == payload);
        return count;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Message> messages_;
    std::vector<Clock::time_point> times_;
    bool connected_ = false;
    std::unique_ptr<MqttConnection> connection_;
};

// The bridge as the program runs it: its connection made once the bridge is.
class RunningBridge : public mqtt::Broker {
public:
    explicit RunningBridge(BridgeSettings settings) {
        const BrokerSettings broker = settings.Broker;
        bridge_ = std::make_unique<Bridge>(std::move(settings), *this, "9.9.9", [this](const std::string& reason) {
            std::lock_guard<std::mutex> lock(mutex_);
            claimRefused_ = reason;
        });
        connection_ = std::make_unique<MqttConnection>(
            broker, bridge_->BridgeAvailabilityTopic(), "offline",
            MqttConnection::Callbacks{[this] { bridge_->Connected(); },
                                      [this](const std::string& reason) {
                                          std::lock_guard<std::mutex> lock(mutex_);
                                          refusals_.push_back(reason);
                                          refusalTimes_.push_back(Clock::now());
                                      },
                                      [this](const Message& message) {
                                          largest_ = std::max(largest_.load(), message.Payload.size());
                                          bridge_->Received(message);
                                      }});
        ready_ = true;
        connection_->Start();
    }
    // As the program ends: the switches first, then the last word, unless another bridge serves
    // the prefix (its availability is not ours to say).
    ~RunningBridge() override {
        bridge_->Stop();
        if (ClaimRefused().empty())
            connection_->Stop(bridge_->BridgeAvailabilityTopic(), "offline");
        else
            connection_->Stop();
        ready_ = false;
        bridge_.reset();
    }
    void Publish(const std::string& topic, const std::string& payload, bool retain) override {
        if (ready_)
            connection_->Publish(topic, payload, retain);
    }
    void Subscribe(const std::string& pattern) override {
        if (ready_)
            connection_->Subscribe(pattern);
    }
    int Refusals() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<int>(refusals_.size());
    }
    std::vector<std::string> RefusalReasons() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return refusals_;
    }
    std::vector<Clock::time_point> RefusalTimes() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return refusalTimes_;
    }
    std::string ClaimRefused() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return claimRefused_;
    }
    std::size_t LargestPayload() const { return largest_; }
    int ProtocolVersion() const { return connection_->ProtocolVersion(); }
    void Reload(BridgeSettings settings) { bridge_->Reload(std::move(settings)); }
    void Stop() { bridge_->Stop(); }

private:
    std::atomic<bool> ready_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> refusals_;
    std::vector<Clock::time_point> refusalTimes_;
    std::string claimRefused_;
    std::atomic<std::size_t> largest_{0};
    std::unique_ptr<Bridge> bridge_;
    std::unique_ptr<MqttConnection> connection_;
};

// A certificate authority NAME.crt (key NAME.key) and a certificate for 127.0.0.1 that it signed,
// NAME-server.crt and NAME-server.key, in the folder; whether openssl made them all.
inline bool MakeCertificates(const TempFolder& folder, const std::string& name) {
    const auto file = [&](const std::string& suffix) { return folder.File(name + suffix); };
    WriteBytes(file("-san.ext"), "subjectAltName=IP:127.0.0.1\n");
    return RunProgram({OPENSSL_PATH, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                       "/CN=test CA " + name, "-keyout", file(".key"), "-out", file(".crt")})
                   .ExitCode == 0 &&
           RunProgram({OPENSSL_PATH, "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
                       file("-server.key"), "-out", file("-server.csr")})
                   .ExitCode == 0 &&
           RunProgram({OPENSSL_PATH, "x509", "-req", "-in", file("-server.csr"), "-CA", file(".crt"), "-CAkey",
                       file(".key"), "-CAcreateserial", "-days", "2", "-extfile", file("-san.ext"), "-out",
                       file("-server.crt")})
                   .ExitCode == 0;
}

inline std::string PrivateFile(const TempFolder& folder, const std::string& text) {
    const std::string path = folder.File("bridge.ini");
    WriteBytes(path, text);
    ::chmod(path.c_str(), 0600);
    return path;
}

inline std::string Section(const std::string& name, int port, const std::string& more = "") {
    return "[" + name + "]\nIPV4=127.0.0.1\nPort=" + std::to_string(port) + "\nPass=40617253\n" + more + "\n";
}

class BridgeTest : public testing::Test {
protected:
    // `mqtt`: further keys of [mqtt], over the test's own.
    BridgeSettings Settings(const std::string& switches, const std::string& mqtt = "") {
        return BridgeSettings::Read(PrivateFile(
            folder, "[mqtt]\nHost=127.0.0.1\nPort=" + std::to_string(broker->Port()) +
                        "\nPollSeconds=1\nCycleSeconds=0\nClientId=bridge-under-test\n" + mqtt + "\n" + switches));
    }

    TempFolder folder;
    std::unique_ptr<test::Broker> broker = std::make_unique<test::Broker>(folder, FreePort());
    Switch rack1, rack2;
};

} // namespace qdl::test
