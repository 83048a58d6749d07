#pragma once

#include "BridgeSettings.h"
#include "MqttConnection.h"
#include "Outlets.h"

#include <array>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace qdl::mqtt {

// What the bridge needs of its connection to the broker; tests may stand in for it.
class Broker {
public:
    virtual ~Broker() = default;
    virtual void Publish(const std::string& topic, const std::string& payload, bool retain) = 0;
    virtual void Subscribe(const std::string& pattern) = 0;
};

// The switches of the configuration on an MQTT broker, as hubs (Home Assistant above all) expect a
// device to be: each switch read every poll under the per-switch lock, each outlet's state
// published (retained) only from what the switch showed, a switch that cannot be read "offline"
// with its states left as they were, commands applied by the checked change and reported done
// only by the read that confirms them, and Home Assistant's discovery documents.
//
// Topics (PREFIX is [mqtt] Prefix): PREFIX/bridge/availability, PREFIX/NAME/availability,
// PREFIX/NAME/outlet/N/state (ON, OFF), PREFIX/NAME/outlet/N/set (ON, OFF, CYCLE),
// PREFIX/NAME/error (a JSON object: outlet, kind, message).
class Bridge {
public:
    Bridge(BridgeSettings settings, Broker& broker);
    ~Bridge();
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // After every connection: subscriptions, availability, discovery, the states known.
    void Connected();
    void Received(const Message& message);
    // The switches of a new configuration (SIGHUP): the entities of switches no longer there are
    // removed; the broker's settings take effect at the next start.
    void Reload(BridgeSettings settings);

    const std::string& BridgeAvailabilityTopic() const { return bridgeTopic_; }

    class Worker; // one switch: its polls and commands, one exchange at a time

private:
    void PublishDiscovery(const control::SwitchEntry& entry);
    void StartWorkers();
    std::string NodeId() const;

    Broker& broker_;
    std::mutex mutex_; // the settings and the workers, against a reload
    BridgeSettings settings_;
    std::string bridgeTopic_;
    std::map<std::string, std::unique_ptr<Worker>> workers_; // by switch name
};

} // namespace qdl::mqtt
