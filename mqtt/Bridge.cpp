#include "Bridge.h"

#include "Failures.h"
#include "ServiceLog.h"
#include "SwitchLock.h"
#include "SwitchSession.h"
#include "TextUtil.h"

#include <nlohmann/json.hpp>

#include <set>

namespace qdl::mqtt {
namespace {

using control::Field;
using control::Log;
using control::LogLevel;

const char* const Model = "Quadrel 4816";
const char* const Maker = "Tarnwell";

// A name as discovery ids take it: letters, digits and '-' as they are, every other byte _xx.
std::string IdOf(const std::string& name) {
    std::string id;
    for (unsigned char c : name)
        id += std::isalnum(c) || c == '-' ? std::string(1, static_cast<char>(c)) : Format("_%02x", c);
    return id;
}

std::vector<std::string> Levels(const std::string& topic) {
    std::vector<std::string> levels;
    for (std::size_t start = 0;;) {
        const auto end = topic.find('/', start);
        levels.push_back(topic.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            return levels;
        start = end + 1;
    }
}

std::string Shown(const std::string& payload) {
    return AsciiPrintable(payload, 40);
}

} // namespace

// ---- one switch ----

class Bridge::Worker {
public:
    Worker(Broker& broker, const BridgeSettings& settings, control::SwitchEntry entry)
        : broker_(broker), entry_(std::move(entry)), topic_(settings.Prefix + "/" + entry_.Name),
          poll_(settings.Poll), cycleOff_(settings.CycleOff), thread_([this] { Run(); }) {}

    ~Worker() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    // The last command for an outlet wins over one still waiting: a flood cannot make it flap.
    void Command(int outlet, const std::string& command) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pending_[static_cast<std::size_t>(outlet - 1)] = command;
        }
        wake_.notify_all();
    }

    // What is known, again, for a broker that may have lost it.
    void Republish() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (online_)
            broker_.Publish(topic_ + "/availability", *online_ ? "online" : "offline", true);
        if (shown_)
            for (int outlet = 1; outlet <= control::OutletCount; ++outlet)
                PublishState(outlet, (*shown_)[static_cast<std::size_t>(outlet - 1)]);
    }

private:
    void Run() {
        auto nextPoll = control::Clock::now();
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            wake_.wait_until(lock, nextPoll, [this] { return stop_ || HasPending(); });
            if (stop_)
                return;
            if (HasPending()) {
                for (std::size_t i = 0; i < pending_.size(); ++i)
                    if (const auto command = std::exchange(pending_[i], std::nullopt)) {
                        lock.unlock();
                        Execute(static_cast<int>(i) + 1, *command);
                        lock.lock();
                    }
                continue;
            }
            lock.unlock();
            Poll();
            lock.lock();
            nextPoll = control::Clock::now() + poll_;
        }
    }

    bool HasPending() const {
        for (const auto& command : pending_)
            if (command)
                return true;
        return false;
    }

    void Poll() {
        try {
            control::SwitchLock turn(entry_.Target);
            control::SwitchSession session(entry_.Target);
            Shows(control::ReadOutlets(session));
        } catch (const std::exception& thrown) {
            const control::Failure failure = control::AsFailure(thrown, entry_.Target);
            SetOnline(false);
            Error(std::nullopt, failure);
        }
    }

    void Execute(int outlet, const std::string& command) {
        Log(LogLevel::Info, "Applying a command",
            Field("switch", entry_.Name) + " " + Field("outlet", std::to_string(outlet)) + " " +
                Field("command", command));
        try {
            control::SwitchSession session(entry_.Target);
            if (command == "CYCLE")
                Shows(control::CycleOutlets(session, {outlet}, cycleOff_,
                                            [this](std::chrono::milliseconds time) {
                                                std::unique_lock<std::mutex> lock(mutex_);
                                                wake_.wait_for(lock, time, [this] { return stop_; });
                                            }));
            else
                Shows(control::ChangeOutlets(session, {{outlet, command == "ON"}}));
        } catch (const std::exception& thrown) {
            const control::Failure failure = control::AsFailure(thrown, entry_.Target);
            Error(outlet, failure);
            // What the switch shows now is read at once, not at the next poll.
            Poll();
        }
    }

    // States the switch showed: each one that changed is published, and the switch is online.
    void Shows(const control::OutletStates& states) {
        std::lock_guard<std::mutex> lock(mutex_);
        SetOnlineLocked(true);
        for (int outlet = 1; outlet <= control::OutletCount; ++outlet) {
            const bool on = states[static_cast<std::size_t>(outlet - 1)];
            if (!shown_ || (*shown_)[static_cast<std::size_t>(outlet - 1)] != on)
                PublishState(outlet, on);
        }
        shown_ = states;
    }

    void PublishState(int outlet, bool on) {
        broker_.Publish(topic_ + "/outlet/" + std::to_string(outlet) + "/state", on ? "ON" : "OFF", true);
    }

    void SetOnline(bool online) {
        std::lock_guard<std::mutex> lock(mutex_);
        SetOnlineLocked(online);
    }

    void SetOnlineLocked(bool online) {
        if (online_ == online)
            return;
        online_ = online;
        broker_.Publish(topic_ + "/availability", online ? "online" : "offline", true);
        Log(online ? LogLevel::Info : LogLevel::Warn, online ? "Switch online" : "Switch offline",
            Field("switch", entry_.Name));
    }

    void Error(const std::optional<int>& outlet, const control::Failure& failure) {
        nlohmann::json error{{"kind", control::KindName(failure.Kind())}, {"message", failure.what()}};
        if (outlet)
            error["outlet"] = *outlet;
        broker_.Publish(topic_ + "/error", error.dump(), false);
        Log(LogLevel::Warn, outlet ? "A command failed" : "The switch cannot be read",
            Field("switch", entry_.Name) + (outlet ? " " + Field("outlet", std::to_string(*outlet)) : "") +
                " " + Field("kind", control::KindName(failure.Kind())) + " " +
                Field("reason", failure.what()));
    }

    Broker& broker_;
    const control::SwitchEntry entry_;
    const std::string topic_;
    const std::chrono::seconds poll_, cycleOff_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::array<std::optional<std::string>, control::OutletCount> pending_;
    std::optional<control::OutletStates> shown_;
    std::optional<bool> online_;
    std::thread thread_; // last: it starts once everything above is made
};

// ---- the bridge ----

Bridge::Bridge(BridgeSettings settings, Broker& broker)
    : broker_(broker), settings_(std::move(settings)),
      bridgeTopic_(settings_.Prefix + "/bridge/availability") {
    StartWorkers();
}

Bridge::~Bridge() {
    std::lock_guard<std::mutex> lock(mutex_);
    workers_.clear();
}

void Bridge::StartWorkers() {
    for (const control::SwitchEntry& entry : settings_.Switches.Switches())
        workers_[entry.Name] = std::make_unique<Worker>(broker_, settings_, entry);
}

std::string Bridge::NodeId() const {
    return IdOf(settings_.Prefix);
}

void Bridge::Connected() {
    std::lock_guard<std::mutex> lock(mutex_);
    Log(LogLevel::Info, "Connected to the broker");
    broker_.Publish(bridgeTopic_, "online", true);
    broker_.Subscribe(settings_.Prefix + "/+/outlet/+/set");
    broker_.Subscribe(settings_.DiscoveryPrefix + "/status");
    // Our own retained discovery documents come back: those of entities no longer configured are
    // removed.
    broker_.Subscribe(settings_.DiscoveryPrefix + "/+/" + NodeId() + "/+/config");
    for (const control::SwitchEntry& entry : settings_.Switches.Switches())
        PublishDiscovery(entry);
    for (const auto& [name, worker] : workers_)
        worker->Republish();
}

void Bridge::PublishDiscovery(const control::SwitchEntry& entry) {
    const std::string base = settings_.Prefix + "/" + entry.Name;
    const std::string id = NodeId() + "_" + IdOf(entry.Name);
    control::ConnectionTexts texts;
    texts.Address = entry.Target.Host;
    texts.Port = std::to_string(entry.Target.Port);
    const nlohmann::json device{{"identifiers", {id}},
                                {"name", entry.Name},
                                {"model", Model},
                                {"manufacturer", Maker},
                                {"configuration_url", control::WebPageAddress(texts) + "/"}};
    const nlohmann::json availability =
        nlohmann::json::array({{{"topic", bridgeTopic_}}, {{"topic", base + "/availability"}}});
    for (int outlet = 1; outlet <= control::OutletCount; ++outlet) {
        const std::string n = std::to_string(outlet);
        const auto named = entry.OutletNames.find(outlet);
        const std::string name = named != entry.OutletNames.end() ? named->second : "Outlet " + n;
        const bool commands = entry.WithoutCommands.count(outlet) == 0;
        nlohmann::json state{{"name", name},
                             {"unique_id", id + "_outlet" + n},
                             {"state_topic", base + "/outlet/" + n + "/state"},
                             {"payload_on", "ON"},
                             {"payload_off", "OFF"},
                             {"availability", availability},
                             {"availability_mode", "all"},
                             {"device", device}};
        if (commands) {
            state["device_class"] = "outlet";
            state["command_topic"] = base + "/outlet/" + n + "/set";
            state["state_on"] = "ON";
            state["state_off"] = "OFF";
            state["qos"] = 1;
            state["retain"] = false;
            broker_.Publish(settings_.DiscoveryPrefix + "/switch/" + NodeId() + "/" + IdOf(entry.Name) +
                                "_outlet" + n + "/config",
                            state.dump(), true);
            const nlohmann::json button{{"name", name + " power cycle"},
                                        {"unique_id", id + "_outlet" + n + "_cycle"},
                                        {"command_topic", base + "/outlet/" + n + "/set"},
                                        {"payload_press", "CYCLE"},
                                        {"device_class", "restart"},
                                        {"qos", 1},
                                        {"retain", false},
                                        {"availability", availability},
                                        {"availability_mode", "all"},
                                        {"device", device}};
            broker_.Publish(settings_.DiscoveryPrefix + "/button/" + NodeId() + "/" + IdOf(entry.Name) +
                                "_outlet" + n + "_cycle/config",
                            button.dump(), true);
        } else {
            state["device_class"] = "power";
            broker_.Publish(settings_.DiscoveryPrefix + "/binary_sensor/" + NodeId() + "/" +
                                IdOf(entry.Name) + "_outlet" + n + "/config",
                            state.dump(), true);
        }
    }
}

void Bridge::Received(const Message& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::vector<std::string> levels = Levels(message.Topic);
    if (message.Topic == settings_.DiscoveryPrefix + "/status") {
        if (message.Payload == "online") {
            Log(LogLevel::Info, "Home Assistant announced itself: discovery published again");
            for (const control::SwitchEntry& entry : settings_.Switches.Switches())
                PublishDiscovery(entry);
            for (const auto& [name, worker] : workers_)
                worker->Republish();
        }
        return;
    }
    const std::size_t discoveryLevels = Levels(settings_.DiscoveryPrefix).size();
    if (levels.size() == discoveryLevels + 4 && levels.back() == "config" &&
        levels[discoveryLevels + 1] == NodeId()) {
        // One of our discovery documents as the broker kept it: an entity no longer configured
        // (a switch removed, an outlet that changed kind) is removed with an empty document.
        if (message.Payload.empty())
            return;
        const std::string& component = levels[discoveryLevels];
        const std::string& object = levels[discoveryLevels + 2];
        for (const control::SwitchEntry& entry : settings_.Switches.Switches())
            for (int outlet = 1; outlet <= control::OutletCount; ++outlet) {
                const std::string own = IdOf(entry.Name) + "_outlet" + std::to_string(outlet);
                const bool commands = entry.WithoutCommands.count(outlet) == 0;
                if ((commands && component == "switch" && object == own) ||
                    (commands && component == "button" && object == own + "_cycle") ||
                    (!commands && component == "binary_sensor" && object == own))
                    return;
            }
        Log(LogLevel::Info, "Removed an entity no longer configured", Field("topic", message.Topic));
        broker_.Publish(message.Topic, "", true);
        return;
    }
    const std::size_t prefixLevels = Levels(settings_.Prefix).size();
    const bool command =
        levels.size() == prefixLevels + 4 && levels[prefixLevels + 1] == "outlet" && levels.back() == "set";
    if (!command) {
        Log(LogLevel::Info, "Ignored a message on a topic the bridge does not serve",
            Field("topic", AsciiPrintable(message.Topic, 200)));
        return;
    }
    const std::string& name = levels[prefixLevels];
    const std::string& number = levels[prefixLevels + 2];
    const auto worker = workers_.find(name);
    const auto entry = settings_.Switches.Find(name);
    const int outlet = number.size() == 1 && number[0] >= '1' && number[0] <= '4' ? number[0] - '0' : 0;
    const auto ignored = [&](const char* why) {
        Log(LogLevel::Warn, why,
            Field("topic", AsciiPrintable(message.Topic, 200)) + " " +
                Field("payload", Shown(message.Payload)));
    };
    if (message.Retained) {
        // A command the broker kept is from the past: applying it now would switch an outlet by
        // itself. It is removed, so that it does not come again.
        ignored("Ignored a retained command");
        broker_.Publish(message.Topic, "", true);
        return;
    }
    if (worker == workers_.end() || !entry || entry->Name != name || outlet == 0)
        return ignored("Ignored a command for a switch or outlet the configuration does not name");
    if (entry->WithoutCommands.count(outlet))
        return ignored("Ignored a command for an outlet that takes none");
    if (message.Payload != "ON" && message.Payload != "OFF" && message.Payload != "CYCLE")
        return ignored("Ignored a command that is none of ON, OFF and CYCLE");
    worker->second->Command(outlet, message.Payload);
}

void Bridge::Reload(BridgeSettings settings) {
    std::lock_guard<std::mutex> lock(mutex_);
    workers_.clear();
    std::set<std::string> kept;
    for (const control::SwitchEntry& entry : settings.Switches.Switches())
        kept.insert(entry.Name);
    for (const control::SwitchEntry& entry : settings_.Switches.Switches())
        if (!kept.count(entry.Name))
            broker_.Publish(settings_.Prefix + "/" + entry.Name + "/availability", "offline", true);
    settings.Broker = settings_.Broker;
    settings.Prefix = settings_.Prefix;
    settings.DiscoveryPrefix = settings_.DiscoveryPrefix;
    settings_ = std::move(settings);
    StartWorkers();
    Log(LogLevel::Info, "Configuration reloaded", Field("switches", std::to_string(workers_.size())));
    // The retained documents come back through the subscription: those of removed switches go.
    broker_.Subscribe(settings_.DiscoveryPrefix + "/+/" + NodeId() + "/+/config");
    for (const control::SwitchEntry& entry : settings_.Switches.Switches())
        PublishDiscovery(entry);
}

} // namespace qdl::mqtt
