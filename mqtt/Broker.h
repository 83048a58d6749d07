#pragma once

#include <string>

namespace qdl::mqtt {

// A message as the bridge gets it from the broker.
struct Message {
    std::string Topic;
    std::string Payload;
    // Sent with the retain flag: kept by the broker, or (with MQTT 5) published to be kept. With
    // MQTT 3.1.1 a message published live with the flag comes without it.
    bool Retained = false;
};

// What the bridge needs of its connection to the broker; tests may stand in for it. Neither call
// waits for the network: what cannot go out now is said again after the next connection.
class Broker {
public:
    virtual ~Broker() = default;
    virtual void Publish(const std::string& topic, const std::string& payload, bool retain) = 0;
    virtual void Subscribe(const std::string& pattern) = 0;
};

} // namespace qdl::mqtt
