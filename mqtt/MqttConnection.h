#pragma once

#include "BridgeSettings.h"
#include "Broker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;

namespace qdl::mqtt {

// One connection to the broker on libmosquitto, its network loop on a thread of its own: it
// connects in the background and connects again after every loss or refusal, whatever the reason
// (a TLS failure too), with growing delays (1 s doubling to 60 s, from 1 s again once connected;
// 10 s, then 60 s, after another client took the session). MQTT 5 unless the settings say 3.1.1, and 3.1.1
// after a broker refused MQTT 5. With MQTT 5 the broker sends no packet over 64 KiB and tells a
// retained command from a live one. The will says `willPayload` on `willTopic`, retained, when the
// connection is lost without a word. Callbacks run on the loop's thread; what they throw ends there.
class MqttConnection {
public:
    struct Callbacks {
        std::function<void()> Connected;
        // Once for each failed attempt and each loss: the broker's, the network's or TLS's reason.
        std::function<void(const std::string&)> Refused;
        std::function<void(const Message&)> Received;
    };

    MqttConnection(const BrokerSettings& broker, const std::string& willTopic, const std::string& willPayload,
                   Callbacks callbacks);
    ~MqttConnection(); // ends without a last word (see Stop)
    MqttConnection(const MqttConnection&) = delete;
    MqttConnection& operator=(const MqttConnection&) = delete;

    // Connects in the background and starts the loop.
    void Start();

    // Quality of service 1: the broker has it at least once.
    void Publish(const std::string& topic, const std::string& payload, bool retain);
    void Subscribe(const std::string& pattern);
    // Publishes the last word (retained; none when `topic` is empty) and ends the connection and
    // its loop, without the will: every subscription is taken back first, so that nothing comes
    // in unread when the socket closes (an unread byte turns the close into a reset, which can
    // lose the DISCONNECT and send the will).
    void Stop(const std::string& topic = "", const std::string& payload = "");

    // 5 or 4 (3.1.1): what the next or current connection speaks.
    int ProtocolVersion() const { return version_; }

private:
    static void OnConnect(mosquitto*, void* self, int code, int flags, const mqtt5__property* properties);
    static void OnDisconnect(mosquitto*, void* self, int code, const mqtt5__property* properties);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message,
                          const mqtt5__property* properties);
    static void OnLog(mosquitto*, void* self, int level, const char* text);
    static void OnUnsubscribe(mosquitto*, void* self, int id);

    void Loop();
    int Connect();
    // Says why the attempt or the connection ended, once, and waits before the next.
    bool Failed(int code);
    std::string Describe(int code);
    void NoteReason(const std::string& reason);
    template <typename Call> void Guarded(const char* what, Call call);
    // Waits `time` unless the connection is being stopped; false then.
    bool Pause(std::chrono::seconds time);
    // Unsubscribes from every pattern and waits (a second at most) for the broker's answer.
    void TakeBackSubscriptions();

    Callbacks callbacks_;
    std::string host_, clientId_;
    int port_ = 0;
    const bool automaticVersion_;
    std::atomic<int> version_;
    mosquitto* client_ = nullptr;
    std::mutex mutex_;
    std::condition_variable stopping_;
    bool stopped_ = false;               // the loop ends now
    std::set<std::string> subscriptions_; // of this connection
    int unsubscribedId_ = 0;             // of the last UNSUBSCRIBE the broker answered
    std::atomic<bool> closing_{false};   // the loop ends once the last word is out
    std::atomic<bool> connected_{false}; // acknowledged by the broker
    // Kept by the loop's thread only (callbacks run on it).
    std::string reason_;                        // why the current attempt or connection ended
    std::string tlsCause_;                      // what the TLS library said meanwhile
    bool versionRefused_ = false;               // the broker takes no MQTT 5
    bool takenOver_ = false;                    // another client took the session
    std::chrono::seconds takeoverDelay_{60};    // before the next attempt then
    int suspectedTakeovers_ = 0;                // connections ended at once without a reason, in a row
    std::chrono::steady_clock::time_point connectedAt_;
    std::chrono::seconds delay_{1}; // before the next attempt
    std::thread loop_;
};

} // namespace qdl::mqtt
