#pragma once

#include "BridgeSettings.h"

#include <functional>
#include <string>

struct mosquitto;
struct mosquitto_message;

namespace qdl::mqtt {

// A message as the bridge gets it from the broker.
struct Message {
    std::string Topic;
    std::string Payload;
    bool Retained = false; // delivered because the broker kept it, not sent just now
};

// One connection to the broker on libmosquitto, its network loop on a thread of its own, as
// mosquitto's clients keep it: it connects in the background and reconnects after every loss
// with growing delays (1 s doubling to 60 s). The will says `willPayload` on `willTopic`, retained,
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

    Callbacks callbacks_;
    std::string host_;
    int port_ = 0;
    mosquitto* client_ = nullptr;
    bool stopped_ = false;
};

} // namespace qdl::mqtt
