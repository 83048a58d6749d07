#pragma once

#include "BridgeSettings.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

struct mosquitto;
struct mosquitto_message;

namespace qdl::mqtt {

// A message as the bridge gets it from the broker.
struct Message {
    std::string Topic;
    std::string Payload;
    bool Retained = false; // delivered because the broker kept it, not sent just now
};

// One connection to the broker on libmosquitto, its network loop on a thread of its own: it
// connects in the background and connects again after every loss or refusal, whatever the reason
// (a TLS failure too, which ends libmosquitto's own loop), with growing delays (1 s doubling to
// 60 s, from 1 s again once connected). The will says `willPayload` on `willTopic`, retained,
// when the connection is lost without a word. Callbacks run on the loop's thread.
class MqttConnection {
public:
    struct Callbacks {
        std::function<void()> Connected;
        std::function<void(const std::string&)> Refused; // the broker's or the network's reason
        std::function<void(const Message&)> Received;
    };

    MqttConnection(const BrokerSettings& broker, const std::string& willTopic, const std::string& willPayload,
                   Callbacks callbacks);
    ~MqttConnection(); // says `goodbye` first where given (see Stop)
    MqttConnection(const MqttConnection&) = delete;
    MqttConnection& operator=(const MqttConnection&) = delete;

    // Connects in the background and starts the loop.
    void Start();

    // Quality of service 1: the broker has it at least once.
    void Publish(const std::string& topic, const std::string& payload, bool retain);
    void Subscribe(const std::string& pattern);
    // Publishes the last word (retained) and ends the connection and its loop.
    void Stop(const std::string& topic, const std::string& payload);

private:
    static void OnConnect(mosquitto*, void* self, int code);
    static void OnDisconnect(mosquitto*, void* self, int code);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);

    void Loop();
    // Waits `time` unless the connection is being stopped; false then.
    bool Pause(std::chrono::seconds time);

    Callbacks callbacks_;
    std::string host_;
    int port_ = 0;
    mosquitto* client_ = nullptr;
    std::mutex mutex_;
    std::condition_variable stopping_;
    bool stopped_ = false;             // the loop ends now
    std::atomic<bool> closing_{false}; // the loop ends once the last word is out
    std::atomic<bool> connected_{false}; // acknowledged by the broker
    std::chrono::seconds delay_{1};    // before the next attempt
    std::thread loop_;
};

} // namespace qdl::mqtt
