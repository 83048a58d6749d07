// qdl4816-mqtt: the switches of a configuration file on an MQTT broker, for Home Assistant and
// every other hub that speaks MQTT.
#include "Bridge.h"
#include "Failures.h"
#include "MqttConnection.h"
#include "ServiceLog.h"
#include "ServiceMain.h"
#include "ServiceSignals.h"
#include "TextUtil.h"

#include <CLI/CLI.hpp>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace {

using namespace qdl::mqtt;
using qdl::control::Field;
using qdl::control::Log;
using qdl::control::LogLevel;

const char* const Version = QDL_VERSION;

// The exit status when another bridge serves the prefix: the service manager does not restart
// the bridge for it (RestartPreventExitStatus).
constexpr int PrefixTaken = 3;

// The connection, once it is made: what the bridge publishes before that is published again
// after every connection.
class ConnectionBroker : public Broker {
public:
    void Use(MqttConnection* connection) { connection_ = connection; }
    void Publish(const std::string& topic, const std::string& payload, bool retain) override {
        if (MqttConnection* connection = connection_)
            connection->Publish(topic, payload, retain);
    }
    void Subscribe(const std::string& pattern) override {
        if (MqttConnection* connection = connection_)
            connection->Subscribe(pattern);
    }

private:
    std::atomic<MqttConnection*> connection_{nullptr};
};

// How the bridge ends: a signal, or another bridge's claim of the prefix.
class Ending {
public:
    void End(int status) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!status_)
                status_ = status;
        }
        ended_.notify_all();
    }
    int Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        ended_.wait(lock, [this] { return status_.has_value(); });
        return *status_;
    }

private:
    std::mutex mutex_;
    std::condition_variable ended_;
    std::optional<int> status_;
};

void Reload(Bridge& bridge, const std::string& configFile) {
    try {
        bridge.Reload(BridgeSettings::Read(configFile));
    } catch (const std::exception& failure) {
        Log(LogLevel::Error, "Configuration not reloaded; the old one stays", Field("reason", failure.what()));
    }
}

int Serve(const std::string& configFile) {
    BridgeSettings settings = BridgeSettings::Read(configFile);
    const BrokerSettings brokerSettings = settings.Broker;
    Ending ending;
    ConnectionBroker broker;
    Bridge bridge(std::move(settings), broker, Version, [&ending](const std::string&) { ending.End(PrefixTaken); });
    MqttConnection connection(brokerSettings, bridge.BridgeAvailabilityTopic(), "offline",
                              {[&bridge] { bridge.Connected(); },
                               [](const std::string& reason) {
                                   Log(LogLevel::Warn, "No connection to the broker; trying again",
                                       Field("reason", reason));
                               },
                               [&bridge](const Message& message) { bridge.Received(message); }});
    broker.Use(&connection);
    qdl::control::ServiceSignals signals([&] { Reload(bridge, configFile); }, [&ending] { ending.End(0); });
    connection.Start();
    Log(LogLevel::Info, "Started",
        Field("broker", brokerSettings.Host + ":" + std::to_string(brokerSettings.Port)) + " " +
            Field("client_id", brokerSettings.ClientId) + " " +
            Field("tls", brokerSettings.CAFile.empty() ? "false" : "true") + " " + Field("version", Version));
    const int status = ending.Wait();
    if (status == PrefixTaken) {
        // Without a word: the availability on the broker is the other bridge's.
        broker.Use(nullptr);
        connection.Stop();
        return status;
    }
    // The switches first, so that a cycle cut short says so while the connection is there.
    bridge.Stop();
    connection.Stop(bridge.BridgeAvailabilityTopic(), "offline");
    broker.Use(nullptr);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string configFile = "/etc/qdl4816-mqtt/qdl4816-mqtt.ini";
    std::string logLevel = "info";
    CLI::App app{
        "Bridges Quadrel 4816 network power switches to an MQTT broker, for Home Assistant and other hubs.",
        "qdl4816-mqtt"};
    app.add_option("--config", configFile, "The switches and the section [mqtt] [" + configFile + "]");
    app.add_option("--log.level", logLevel, "debug, info, warn or error [info]");
    app.set_version_flag("--version", std::string("qdl4816-mqtt ") + Version);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& failure) {
        return app.exit(failure);
    }
    return qdl::control::RunService(logLevel, [&] {
        qdl::control::ServiceSignals::Block(); // every thread made from here on
        return Serve(configFile);
    });
}
