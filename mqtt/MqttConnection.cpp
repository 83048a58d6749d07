#include "MqttConnection.h"

#include "Failures.h"
#include "TextUtil.h"

#include <mosquitto.h>

#include <mutex>

namespace qdl::mqtt {
namespace {

constexpr int KeepAlive = 30; // seconds

// The library is set up once for the process, whatever number of connections it makes.
void Initialise() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

[[noreturn]] void Fail(const char* what, int code) {
    throw control::ConfigError(Format("MQTT: %s: %s.", what, mosquitto_strerror(code)));
}

} // namespace

MqttConnection::MqttConnection(const BrokerSettings& broker, const std::string& willTopic,
                               const std::string& willPayload, Callbacks callbacks)
    : callbacks_(std::move(callbacks)), host_(broker.Host), port_(broker.Port) {
    Initialise();
    client_ = mosquitto_new(broker.ClientId.c_str(), true, this);
    if (!client_)
        throw control::ConfigError("MQTT: the client cannot be made (out of memory?).");
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION,
                         broker.ProtocolVersion == 5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    if (!broker.UserName.empty())
        if (const int code =
                mosquitto_username_pw_set(client_, broker.UserName.c_str(),
                                          broker.Password.empty() ? nullptr : broker.Password.c_str()))
            Fail("the user name cannot be used", code);
    if (!broker.CAFile.empty())
        if (const int code =
                mosquitto_tls_set(client_, broker.CAFile.c_str(), nullptr,
                                  broker.CertFile.empty() ? nullptr : broker.CertFile.c_str(),
                                  broker.KeyFile.empty() ? nullptr : broker.KeyFile.c_str(), nullptr))
            Fail(("the TLS files " + broker.CAFile + " " + broker.CertFile + " cannot be used").c_str(),
                 code);
    if (const int code = mosquitto_will_set(client_, willTopic.c_str(), static_cast<int>(willPayload.size()),
                                            willPayload.data(), 1, true))
        Fail("the will cannot be set", code);
    mosquitto_reconnect_delay_set(client_, 1, 60, true);
    mosquitto_connect_callback_set(client_, OnConnect);
    mosquitto_disconnect_callback_set(client_, OnDisconnect);
    mosquitto_message_callback_set(client_, OnMessage);
}

void MqttConnection::Start() {
    // Where the broker is not there yet, the loop keeps trying: the bridge serves once it comes.
    const int code = mosquitto_connect_async(client_, host_.c_str(), port_, KeepAlive);
    if (code != MOSQ_ERR_SUCCESS && code != MOSQ_ERR_ERRNO && code != MOSQ_ERR_EAI)
        Fail("cannot connect", code);
    if (code != MOSQ_ERR_SUCCESS && callbacks_.Refused)
        callbacks_.Refused(mosquitto_strerror(code));
    if (const int started = mosquitto_loop_start(client_))
        Fail("the network loop cannot start", started);
}

MqttConnection::~MqttConnection() {
    if (!stopped_) {
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, true);
    }
    mosquitto_destroy(client_);
}

void MqttConnection::Stop(const std::string& topic, const std::string& payload) {
    if (stopped_)
        return;
    stopped_ = true;
    mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                      true);
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, false);
}

void MqttConnection::Publish(const std::string& topic, const std::string& payload, bool retain) {
    // Not connected: the state is published again after the next connection.
    mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                      retain);
}

void MqttConnection::Subscribe(const std::string& pattern) {
    mosquitto_subscribe(client_, nullptr, pattern.c_str(), 1);
}

void MqttConnection::OnConnect(mosquitto*, void* self, int code) {
    auto& connection = *static_cast<MqttConnection*>(self);
    if (code == 0) {
        if (connection.callbacks_.Connected)
            connection.callbacks_.Connected();
    } else if (connection.callbacks_.Refused) {
        connection.callbacks_.Refused(mosquitto_connack_string(code));
    }
}

void MqttConnection::OnDisconnect(mosquitto*, void* self, int code) {
    auto& connection = *static_cast<MqttConnection*>(self);
    if (code != 0 && !connection.stopped_ && connection.callbacks_.Refused)
        connection.callbacks_.Refused(std::string("the connection was lost: ") + mosquitto_strerror(code));
}

void MqttConnection::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto& connection = *static_cast<MqttConnection*>(self);
    if (!connection.callbacks_.Received || !message->topic)
        return;
    Message received;
    received.Topic = message->topic;
    received.Payload.assign(static_cast<const char*>(message->payload),
                            static_cast<std::size_t>(message->payloadlen));
    received.Retained = message->retain;
    connection.callbacks_.Received(received);
}

} // namespace qdl::mqtt
