#pragma once

#include "BridgeSettings.h"
#include "Broker.h"
#include "Discovery.h"
#include "DelayedCall.h"
#include "SwitchWorker.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace qdl::mqtt {

// The switches of the configuration on an MQTT broker, as hubs (Home Assistant above all) expect a
// device to be: each switch served by a worker of its own, Home Assistant's discovery documents,
// and the routing of commands to the workers.
//
// Topics (PREFIX is [mqtt] Prefix): PREFIX/bridge/availability, PREFIX/bridge/owner (the client
// id of the bridge that serves PREFIX, retained), PREFIX/NAME/availability,
// PREFIX/NAME/outlet/N/state (ON, OFF), PREFIX/NAME/outlet/N/set (ON, OFF, CYCLE),
// PREFIX/NAME/error (a JSON object: outlet, kind, message).
//
// One bridge serves a PREFIX: after every connection the bridge reads the retained owner; while
// another client id owns it and the bridge availability says online, this bridge publishes
// nothing and says so through `refused`. A broker that does not let the bridge read what it needs
// for that (an ACL) delays the bridge by 5 s, with a warning, not for ever.
class Bridge {
public:
    using Refused = std::function<void(const std::string& reason)>;

    Bridge(BridgeSettings settings, Broker& broker, std::string version = "", Refused refused = {});
    ~Bridge(); // stops, as Stop does
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // After every connection: the claim of PREFIX first, then availability, subscriptions,
    // discovery and the states known.
    void Connected();
    void Received(const Message& message);
    // The switches of a new configuration (SIGHUP): a switch the reload leaves as it was keeps its
    // worker, queue and running cycle; the entities of switches no longer there are removed. Never
    // waits for a switch. The broker's settings and the topics take effect at the next start.
    void Reload(BridgeSettings settings);
    // Every worker stops (a cycle under way ends at once, and says so); waits for them.
    void Stop();

    const std::string& BridgeAvailabilityTopic() const { return names_.BridgeTopic; }

private:
    enum class Claim { Asking, Held, Refused };

    // The workers' way to the broker: open only while this bridge holds its claim, so that a
    // refused bridge says nothing and nothing goes out before the subscriptions are made. What
    // it holds back is published again once the claim is held.
    class ClaimedBroker : public Broker {
    public:
        explicit ClaimedBroker(Broker& broker) : broker_(broker) {}
        void Open(bool open) { open_ = open; }
        void Publish(const std::string& topic, const std::string& payload, bool retain) override {
            if (open_)
                broker_.Publish(topic, payload, retain);
        }
        void Subscribe(const std::string& pattern) override {
            if (open_)
                broker_.Subscribe(pattern);
        }

    private:
        Broker& broker_;
        std::atomic<bool> open_{false};
    };

    void ReadClaim(const Message& message);
    void DecideClaim();
    void ClaimUnanswered();
    // Availability, subscriptions, discovery and states: what a held claim makes public.
    void Announce();
    void PublishDiscovery();
    void ClearIfStale(const Message& message);
    void Route(const Message& message);
    std::map<std::string, std::unique_ptr<SwitchWorker>> WorkersFor(const BridgeSettings& settings);

    Broker& broker_;
    ClaimedBroker claimed_{broker_};
    const Refused refused_;
    std::mutex mutex_; // everything below, against the loop, a reload and a re-announcement
    BridgeSettings settings_;
    const DiscoveryNames names_;
    const std::string ownerTopic_, checkTopic_;
    std::set<std::string> documentTopics_; // of the switches configured
    Claim claim_ = Claim::Asking;
    std::optional<std::string> owner_;
    bool ownerOnline_ = false;
    std::map<std::string, std::unique_ptr<SwitchWorker>> workers_;   // by switch name
    std::vector<std::unique_ptr<SwitchWorker>> retired_;             // removed, ending their exchange
    std::minstd_rand random_{std::random_device{}()};                // the re-announcement's delay
    // Last: they call into the above.
    std::unique_ptr<DelayedCall> claimDeadline_; // the owner not known by then: served without it
    std::unique_ptr<DelayedCall> reannouncement_;
};

} // namespace qdl::mqtt
