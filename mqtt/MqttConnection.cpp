#include "MqttConnection.h"

#include "Failures.h"
#include "TextUtil.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

namespace qdl::mqtt {
namespace {

constexpr int KeepAlive = 30; // seconds
constexpr std::chrono::seconds MostDelay{60};

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
    // Other threads publish while the loop's thread reads: the library locks for them.
    mosquitto_threaded_set(client_, true);
    // A state goes out at once, not after the acknowledgement of the packet before it.
    mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
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
    mosquitto_connect_callback_set(client_, OnConnect);
    mosquitto_disconnect_callback_set(client_, OnDisconnect);
    mosquitto_message_callback_set(client_, OnMessage);
}

void MqttConnection::Start() {
    loop_ = std::thread([this] { Loop(); });
}

bool MqttConnection::Pause(std::chrono::seconds time) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !stopping_.wait_for(lock, time, [this] { return stopped_; });
}

void MqttConnection::Loop() {
    bool connected = false, first = true;
    std::optional<std::chrono::steady_clock::time_point> closeBy;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopped_)
                break;
        }
        if (closing_ && !closeBy)
            closeBy = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        if (closeBy && (!connected || std::chrono::steady_clock::now() > *closeBy))
            break;
        if (!connected) {
            const int code = first ? mosquitto_connect(client_, host_.c_str(), port_, KeepAlive)
                                   : mosquitto_reconnect(client_);
            first = false;
            connected = code == MOSQ_ERR_SUCCESS;
            if (!connected) {
                if (callbacks_.Refused)
                    callbacks_.Refused(code == MOSQ_ERR_ERRNO ? std::strerror(errno)
                                                              : mosquitto_strerror(code));
                if (!Pause(std::exchange(delay_, std::min(delay_ * 2, MostDelay))))
                    break;
                continue;
            }
        }
        if (mosquitto_loop(client_, closing_ ? 50 : 500, 1) != MOSQ_ERR_SUCCESS) {
            connected = false;
            if (closing_ || !Pause(std::exchange(delay_, std::min(delay_ * 2, MostDelay))))
                break;
        }
    }
}

MqttConnection::~MqttConnection() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    stopping_.notify_all();
    if (loop_.joinable())
        loop_.join();
    mosquitto_disconnect(client_);
    mosquitto_destroy(client_);
}

// The last word goes out with the loop still running, which sends it before the disconnection
// and then ends (within a second, whatever the broker does).
void MqttConnection::Stop(const std::string& topic, const std::string& payload) {
    if (!loop_.joinable() || closing_.exchange(true))
        return;
    if (connected_)
        mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                          1, true);
    mosquitto_disconnect(client_);
    loop_.join();
}

void MqttConnection::Publish(const std::string& topic, const std::string& payload, bool retain) {
    // Not connected: the state is published again after the next connection. (A packet queued
    // before the connection would go out before its CONNECT, which the broker refuses.)
    if (!connected_)
        return;
    mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                      retain);
}

void MqttConnection::Subscribe(const std::string& pattern) {
    if (!connected_)
        return;
    mosquitto_subscribe(client_, nullptr, pattern.c_str(), 1);
}

void MqttConnection::OnConnect(mosquitto*, void* self, int code) {
    auto& connection = *static_cast<MqttConnection*>(self);
    if (code == 0) {
        connection.delay_ = std::chrono::seconds(1);
        connection.connected_ = true;
        if (connection.callbacks_.Connected)
            connection.callbacks_.Connected();
    } else if (connection.callbacks_.Refused) {
        connection.callbacks_.Refused(mosquitto_connack_string(code));
    }
}

void MqttConnection::OnDisconnect(mosquitto*, void* self, int code) {
    auto& connection = *static_cast<MqttConnection*>(self);
    connection.connected_ = false;
    if (code != 0 && !connection.closing_ && connection.callbacks_.Refused)
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
