// qdl4816-mqtt: the switches of a configuration file on an MQTT broker, for Home Assistant and
// every other hub that speaks MQTT.
#include "Bridge.h"
#include "Failures.h"
#include "MqttConnection.h"
#include "ServiceLog.h"
#include "TextUtil.h"

#include <CLI/CLI.hpp>

#include <signal.h>

#include <atomic>

namespace {

using namespace qdl::mqtt;
using qdl::control::Field;
using qdl::control::Log;
using qdl::control::LogLevel;

const char* const Version = QDL_VERSION;

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

sigset_t HandledSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGHUP, SIGTERM, SIGINT})
        sigaddset(&signals, signal);
    return signals;
}

// SIGHUP rereads the configuration; SIGTERM and SIGINT end the bridge, saying "offline" first.
void ServeUntilStopped(Bridge& bridge, MqttConnection& connection, const std::string& configFile) {
    const sigset_t signals = HandledSignals();
    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0)
            continue;
        if (signal != SIGHUP) {
            Log(LogLevel::Info, "Stopping", Field("signal", signal == SIGTERM ? "SIGTERM" : "SIGINT"));
            connection.Stop(bridge.BridgeAvailabilityTopic(), "offline");
            return;
        }
        try {
            bridge.Reload(BridgeSettings::Read(configFile));
        } catch (const std::exception& failure) {
            Log(LogLevel::Error, "Configuration not reloaded; the old one stays",
                Field("reason", failure.what()));
        }
    }
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
    try {
        qdl::control::SetLogLevel(qdl::control::ParseLogLevel(logLevel));
        const sigset_t signals = HandledSignals();
        pthread_sigmask(SIG_BLOCK, &signals, nullptr); // every thread made from here on
        ::signal(SIGPIPE, SIG_IGN);
        BridgeSettings settings = BridgeSettings::Read(configFile);
        const BrokerSettings brokerSettings = settings.Broker;
        ConnectionBroker broker;
        Bridge bridge(std::move(settings), broker);
        MqttConnection connection(brokerSettings, bridge.BridgeAvailabilityTopic(), "offline",
                                  {[&bridge] { bridge.Connected(); },
                                   [](const std::string& reason) {
                                       Log(LogLevel::Warn, "No connection to the broker; trying again",
                                           Field("reason", reason));
                                   },
                                   [&bridge](const Message& message) { bridge.Received(message); }});
        broker.Use(&connection);
        connection.Start();
        Log(LogLevel::Info, "Started",
            Field("broker", brokerSettings.Host + ":" + std::to_string(brokerSettings.Port)) + " " +
                Field("tls", brokerSettings.CAFile.empty() ? "false" : "true") + " " +
                Field("version", Version));
        ServeUntilStopped(bridge, connection, configFile);
        broker.Use(nullptr);
        return 0;
    } catch (const std::exception& failure) {
        Log(LogLevel::Error, failure.what());
        return 1;
    }
}
