#include "Bridge.h"

#include "ServiceLog.h"
#include "TextUtil.h"
#include "Topics.h"

#include <algorithm>

namespace qdl::mqtt {
namespace {

using control::Field;
using control::Log;
using control::LogLevel;

// How long the owner of the prefix may take to be known after a connection.
constexpr std::chrono::seconds ClaimWait{5};
// Home Assistant asks for a random delay of up to this before everything is said again.
constexpr std::chrono::milliseconds MostReannouncementDelay{5000};

DiscoveryNames NamesOf(const BridgeSettings& settings, std::string version) {
    return {settings.Prefix, settings.DiscoveryPrefix, settings.NodeId, settings.Prefix + "/bridge/availability",
            std::move(version)};
}

std::string Shown(const std::string& text, std::size_t most = 200) {
    return Utf8Printable(text, most);
}

} // namespace

Bridge::Bridge(BridgeSettings settings, Broker& broker, std::string version, Refused refused)
    : broker_(broker), refused_(std::move(refused)), settings_(std::move(settings)),
      names_(NamesOf(settings_, std::move(version))), ownerTopic_(settings_.Prefix + "/bridge/owner"),
      checkTopic_(settings_.Prefix + "/bridge/check/" + IdOf(settings_.Broker.ClientId)),
      documentTopics_(DocumentTopics(names_, settings_.Switches.Switches())),
      claimDeadline_(std::make_unique<DelayedCall>([this] { ClaimUnanswered(); })),
      reannouncement_(std::make_unique<DelayedCall>([this] {
          std::lock_guard<std::mutex> lock(mutex_);
          if (claim_ != Claim::Held)
              return;
          Log(LogLevel::Info, "Home Assistant announced itself: discovery published again");
          Announce();
      })) {
    workers_ = WorkersFor(settings_);
}

Bridge::~Bridge() {
    reannouncement_.reset();
    claimDeadline_.reset();
    Stop();
}

std::map<std::string, std::unique_ptr<SwitchWorker>> Bridge::WorkersFor(const BridgeSettings& settings) {
    std::map<std::string, std::unique_ptr<SwitchWorker>> workers;
    for (const control::SwitchEntry& entry : settings.Switches.Switches()) {
        const auto kept = workers_.find(entry.Name);
        if (kept != workers_.end() && kept->second->Serves(entry, settings.Poll, settings.CycleOff)) {
            workers[entry.Name] = std::move(kept->second);
            workers_.erase(kept);
        } else {
            workers[entry.Name] =
                std::make_unique<SwitchWorker>(claimed_, entry, settings.Prefix, settings.Poll, settings.CycleOff);
        }
    }
    return workers;
}

void Bridge::Stop() {
    std::map<std::string, std::unique_ptr<SwitchWorker>> workers;
    std::vector<std::unique_ptr<SwitchWorker>> retired;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        workers.swap(workers_);
        retired.swap(retired_);
    }
    // Told all at once, so that the slowest exchange is all a stop waits for.
    for (const auto& [name, worker] : workers)
        worker->Stop();
    for (const auto& worker : retired)
        worker->Stop();
}

// ---- the claim of PREFIX ----

void Bridge::Connected() {
    std::lock_guard<std::mutex> lock(mutex_);
    Log(LogLevel::Info, "Connected to the broker");
    claim_ = Claim::Asking;
    claimed_.Open(false);
    owner_.reset();
    ownerOnline_ = false;
    // The broker sends what it keeps on these before our own message on the check topic: once
    // that comes back, the owner is known.
    broker_.Subscribe(ownerTopic_);
    broker_.Subscribe(names_.BridgeTopic);
    broker_.Subscribe(checkTopic_);
    broker_.Publish(checkTopic_, settings_.Broker.ClientId, false);
    claimDeadline_->Request(ClaimWait);
}

void Bridge::ClaimUnanswered() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (claim_ != Claim::Asking)
        return;
    Log(LogLevel::Warn,
        "The broker did not send back the bridge's own message: it may not let the bridge read or write "
        "PREFIX/bridge/# (an ACL); serving without knowing whether another bridge serves the prefix",
        Field("topic", checkTopic_));
    DecideClaim();
}

void Bridge::ReadClaim(const Message& message) {
    if (message.Topic == ownerTopic_)
        owner_ = message.Payload;
    else if (message.Topic == names_.BridgeTopic)
        ownerOnline_ = message.Payload == "online";
    else if (message.Topic == checkTopic_)
        DecideClaim();
}

void Bridge::DecideClaim() {
    if (owner_ && !owner_->empty() && *owner_ != settings_.Broker.ClientId && ownerOnline_) {
        claim_ = Claim::Refused;
        const std::string reason = Format(
            "Another bridge (client id %s) serves the prefix %s and is online: this bridge publishes nothing. "
            "Give each bridge a Prefix of its own.",
            Shown(*owner_, 100).c_str(), settings_.Prefix.c_str());
        Log(LogLevel::Error, reason);
        if (refused_)
            refused_(reason);
        return;
    }
    claim_ = Claim::Held;
    claimed_.Open(true);
    broker_.Publish(ownerTopic_, settings_.Broker.ClientId, true);
    broker_.Subscribe(settings_.Prefix + "/+/outlet/+/set");
    broker_.Subscribe(settings_.DiscoveryPrefix + "/status");
    // Our own retained discovery documents come back: those of entities no longer configured are
    // removed.
    broker_.Subscribe(settings_.DiscoveryPrefix + "/+/" + names_.NodeId + "/+/config");
    Announce();
}

void Bridge::Announce() {
    broker_.Publish(names_.BridgeTopic, "online", true);
    PublishDiscovery();
    for (const auto& [name, worker] : workers_)
        worker->Republish();
}

void Bridge::PublishDiscovery() {
    for (const control::SwitchEntry& entry : settings_.Switches.Switches())
        for (const auto& [topic, document] : DiscoveryDocuments(names_, entry))
            broker_.Publish(topic, document, true);
}

// ---- messages ----

void Bridge::Received(const Message& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (claim_ == Claim::Asking)
        return ReadClaim(message);
    if (claim_ == Claim::Refused)
        return;
    if (message.Topic == names_.BridgeTopic) {
        // Said by a client that is gone (a bridge refused here, killed before it could tell):
        // this bridge is still here.
        if (message.Payload != "online")
            broker_.Publish(names_.BridgeTopic, "online", true);
        return;
    }
    if (message.Topic == ownerTopic_ || message.Topic == checkTopic_)
        return;
    if (message.Topic == settings_.DiscoveryPrefix + "/status") {
        if (message.Payload == "online")
            reannouncement_->Request(std::chrono::milliseconds(
                std::uniform_int_distribution<long long>(0, MostReannouncementDelay.count())(random_)));
        return;
    }
    if (IsOwnDocumentTopic(names_, message.Topic))
        return ClearIfStale(message);
    Route(message);
}

// One of our discovery documents as the broker kept it: an entity no longer configured (a switch
// removed, an outlet that changed kind) is removed with an empty document.
void Bridge::ClearIfStale(const Message& message) {
    if (message.Payload.empty() || documentTopics_.count(message.Topic))
        return;
    Log(LogLevel::Info, "Removed an entity no longer configured", Field("topic", message.Topic));
    broker_.Publish(message.Topic, "", true);
}

void Bridge::Route(const Message& message) {
    const std::vector<std::string> levels = Levels(message.Topic);
    const std::size_t prefixLevels = Levels(settings_.Prefix).size();
    const bool command =
        levels.size() == prefixLevels + 4 && levels[prefixLevels + 1] == "outlet" && levels.back() == "set";
    if (!command) {
        Log(LogLevel::Info, "Ignored a message on a topic the bridge does not serve",
            Field("topic", Shown(message.Topic)));
        return;
    }
    const auto ignored = [&](const char* why) {
        Log(LogLevel::Warn, why, Field("topic", Shown(message.Topic)) + " " + Field("payload", Shown(message.Payload, 40)));
    };
    if (message.Retained) {
        // Our own removal of a retained command, come back.
        if (message.Payload.empty())
            return;
        // A command kept by the broker is from the past: applying it now would switch an outlet by
        // itself. It is removed, so that it does not come again.
        ignored("Ignored a retained command");
        broker_.Publish(message.Topic, "", true);
        return;
    }
    const std::string& name = levels[prefixLevels];
    const std::string& number = levels[prefixLevels + 2];
    const auto worker = workers_.find(name);
    const auto entry = settings_.Switches.Find(name);
    const int outlet = number.size() == 1 && number[0] >= '1' && number[0] <= '4' ? number[0] - '0' : 0;
    if (worker == workers_.end() || !entry || entry->Name != name || outlet == 0)
        return ignored("Ignored a command for a switch or outlet the configuration does not name");
    if (entry->WithoutCommands.count(outlet))
        return ignored("Ignored a command for an outlet that takes none");
    if (message.Payload != "ON" && message.Payload != "OFF" && message.Payload != "CYCLE")
        return ignored("Ignored a command that is none of ON, OFF and CYCLE");
    worker->second->Command(outlet, message.Payload);
}

// ---- reload ----

void Bridge::Reload(BridgeSettings settings) {
    // What is fixed for the connection's life stays.
    settings.Broker = settings_.Broker;
    settings.Prefix = settings_.Prefix;
    settings.DiscoveryPrefix = settings_.DiscoveryPrefix;
    settings.NodeId = settings_.NodeId;
    std::lock_guard<std::mutex> lock(mutex_);
    std::map<std::string, std::unique_ptr<SwitchWorker>> workers = WorkersFor(settings);
    for (auto& [name, worker] : workers_) {
        worker->Retire();
        retired_.push_back(std::move(worker));
        if (!settings.Switches.Find(name) && claim_ == Claim::Held)
            broker_.Publish(settings_.Prefix + "/" + name + "/availability", "offline", true);
    }
    retired_.erase(std::remove_if(retired_.begin(), retired_.end(),
                                  [](const std::unique_ptr<SwitchWorker>& worker) { return worker->Finished(); }),
                   retired_.end());
    workers_ = std::move(workers);
    settings_ = std::move(settings);
    documentTopics_ = DocumentTopics(names_, settings_.Switches.Switches());
    Log(LogLevel::Info, "Configuration reloaded", Field("switches", std::to_string(workers_.size())));
    if (claim_ != Claim::Held)
        return;
    // The retained documents come back through the subscription: those of removed switches go.
    broker_.Subscribe(settings_.DiscoveryPrefix + "/+/" + names_.NodeId + "/+/config");
    PublishDiscovery();
}

} // namespace qdl::mqtt
