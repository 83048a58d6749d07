#include "MqttConnection.h"

#include "Failures.h"
#include "ServiceLog.h"
#include "TextUtil.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace qdl::mqtt {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int KeepAlive = 30; // seconds
constexpr std::chrono::seconds MostDelay{60};
// The largest packet the broker may send us: a command is a few bytes, a discovery document
// of ours about 1 KiB.
constexpr std::uint32_t MostPacket = 64 * 1024;
// A connection the broker ends this soon after accepting it, without a reason, was most likely
// taken by another client with the same id (MQTT 3.1.1 cannot say so, and a broker may close the
// old connection before its MQTT 5 DISCONNECT is out): retried after 10 s, and after the longest
// delay when it happens again.
constexpr std::chrono::seconds ShortConnection{5};
constexpr std::chrono::seconds FirstTakeoverDelay{10};

// The library is set up once for the process, whatever number of connections it makes.
void Initialise() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

[[noreturn]] void Fail(const char* what, int code) {
    throw control::ConfigError(Format("MQTT: %s: %s.", what, mosquitto_strerror(code)));
}

// The reason string a broker's MQTT 5 CONNACK or DISCONNECT may carry.
std::string ReasonString(const mosquitto_property* properties) {
    char* text = nullptr;
    if (!properties || !mosquitto_property_read_string(properties, MQTT_PROP_REASON_STRING, &text, false))
        return "";
    const std::string reason = text ? Utf8Printable(text, 200) : "";
    std::free(text);
    return reason;
}

} // namespace

MqttConnection::MqttConnection(const BrokerSettings& broker, const std::string& willTopic,
                               const std::string& willPayload, Callbacks callbacks)
    : callbacks_(std::move(callbacks)), host_(broker.Host), clientId_(broker.ClientId), port_(broker.Port),
      automaticVersion_(broker.ProtocolVersion == 0), version_(broker.ProtocolVersion == 4 ? 4 : 5) {
    Initialise();
    client_ = mosquitto_new(broker.ClientId.c_str(), true, this);
    if (!client_)
        throw control::ConfigError("MQTT: the client cannot be made (out of memory?).");
    // Other threads publish while the loop's thread reads: the library locks for them.
    mosquitto_threaded_set(client_, true);
    // A state goes out at once, not after the acknowledgement of the packet before it.
    mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
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
    mosquitto_connect_v5_callback_set(client_, OnConnect);
    mosquitto_disconnect_v5_callback_set(client_, OnDisconnect);
    mosquitto_message_v5_callback_set(client_, OnMessage);
    mosquitto_log_callback_set(client_, OnLog);
    mosquitto_unsubscribe_callback_set(client_, OnUnsubscribe);
}

void MqttConnection::Start() {
    loop_ = std::thread([this] { Loop(); });
}

bool MqttConnection::Pause(std::chrono::seconds time) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !stopping_.wait_for(lock, time, [this] { return stopped_; });
}

int MqttConnection::Connect() {
    reason_.clear();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tlsCause_.clear();
    }
    versionRefused_ = takenOver_ = false;
    if (version_ == 4) {
        mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        return mosquitto_connect(client_, host_.c_str(), port_, KeepAlive);
    }
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_property* properties = nullptr;
    mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE, MostPacket);
    const int code = mosquitto_connect_bind_v5(client_, host_.c_str(), port_, KeepAlive, nullptr, properties);
    mosquitto_property_free_all(&properties);
    return code;
}

void MqttConnection::Loop() {
    bool connected = false;
    std::optional<Clock::time_point> closeBy;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopped_)
                break;
        }
        if (closing_ && !closeBy)
            closeBy = Clock::now() + std::chrono::seconds(1);
        if (closeBy && (!connected || Clock::now() > *closeBy))
            break;
        if (!connected) {
            const int code = Connect();
            connected = code == MOSQ_ERR_SUCCESS;
            if (!connected && !Failed(code))
                break;
            continue;
        }
        const int code = mosquitto_loop(client_, closing_ ? 50 : 500, 1);
        if (code != MOSQ_ERR_SUCCESS) {
            connected = false;
            connected_ = false;
            if (closing_ || !Failed(code))
                break;
        }
    }
}

bool MqttConnection::Failed(int code) {
    const std::string reason = reason_.empty() ? Describe(code) : reason_;
    Guarded("the refusal", [&] {
        if (callbacks_.Refused)
            callbacks_.Refused(reason);
    });
    if (versionRefused_ && automaticVersion_ && version_ == 5) {
        version_ = 4;
        control::Log(control::LogLevel::Warn, "The broker takes no MQTT 5: using MQTT 3.1.1 from now on",
                     control::Field("broker", host_ + ":" + std::to_string(port_)));
        return true;
    }
    if (takenOver_)
        delay_ = takeoverDelay_;
    return Pause(std::exchange(delay_, std::min(delay_ * 2, MostDelay)));
}

std::string MqttConnection::Describe(int code) {
    switch (code) {
    case MOSQ_ERR_ERRNO:
        return std::strerror(errno);
    case MOSQ_ERR_KEEPALIVE:
        return Format("the broker answered nothing for %d s (keepalive)", KeepAlive * 3 / 2);
    case MOSQ_ERR_CONN_LOST:
        return "the broker closed the connection";
    case MOSQ_ERR_TLS: {
        std::lock_guard<std::mutex> lock(mutex_);
        return "TLS failed: " + (tlsCause_.empty() ? std::string("no reason given") : tlsCause_);
    }
    case MOSQ_ERR_EAI:
        return "the broker's host name cannot be resolved";
    default:
        return mosquitto_strerror(code);
    }
}

void MqttConnection::NoteReason(const std::string& reason) {
    if (reason_.empty())
        reason_ = reason;
}

template <typename Call> void MqttConnection::Guarded(const char* what, Call call) {
    try {
        call();
    } catch (const std::exception& failure) {
        control::Log(control::LogLevel::Error, std::string("The bridge failed on ") + what,
                     control::Field("reason", failure.what()));
    } catch (...) {
        control::Log(control::LogLevel::Error, std::string("The bridge failed on ") + what);
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
    if (connected_) {
        TakeBackSubscriptions();
        if (!topic.empty())
            mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                              1, true);
    }
    mosquitto_disconnect(client_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!connected_)
            stopped_ = true; // nothing to send: a pause between attempts ends now
    }
    stopping_.notify_all();
    loop_.join();
}

void MqttConnection::TakeBackSubscriptions() {
    std::vector<std::string> patterns;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        patterns.assign(subscriptions_.begin(), subscriptions_.end());
    }
    if (patterns.empty())
        return;
    std::vector<char*> pointers;
    for (std::string& pattern : patterns)
        pointers.push_back(pattern.data());
    int id = 0;
    if (mosquitto_unsubscribe_multiple(client_, &id, static_cast<int>(pointers.size()), pointers.data(), nullptr) !=
        MOSQ_ERR_SUCCESS)
        return;
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_.wait_for(lock, std::chrono::seconds(1), [this, id] { return unsubscribedId_ == id; });
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
    {
        std::lock_guard<std::mutex> lock(mutex_);
        subscriptions_.insert(pattern);
    }
    if (version_ == 5)
        // A retained message keeps its flag when it is sent live: a retained command is never taken
        // for a fresh one.
        mosquitto_subscribe_v5(client_, nullptr, pattern.c_str(), 1, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr);
    else
        mosquitto_subscribe(client_, nullptr, pattern.c_str(), 1);
}

void MqttConnection::OnConnect(mosquitto*, void* self, int code, int, const mqtt5__property* properties) {
    auto& connection = *static_cast<MqttConnection*>(self);
    if (code == 0) {
        {
            std::lock_guard<std::mutex> lock(connection.mutex_);
            connection.subscriptions_.clear(); // a clean session: the broker keeps none of them
        }
        connection.delay_ = std::chrono::seconds(1);
        connection.connectedAt_ = Clock::now();
        connection.connected_ = true;
        connection.Guarded("a connection", [&] {
            if (connection.callbacks_.Connected)
                connection.callbacks_.Connected();
        });
        return;
    }
    connection.versionRefused_ = code == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION ||
                                 (connection.version_ == 4 && code == CONNACK_REFUSED_PROTOCOL_VERSION);
    const std::string reason = connection.version_ == 5 ? mosquitto_reason_string(code) : mosquitto_connack_string(code);
    const std::string said = ReasonString(properties);
    connection.NoteReason(Format("the broker refused the connection: %s (code %d)%s", reason.c_str(), code,
                                 said.empty() ? "" : (": " + said).c_str()));
}

void MqttConnection::OnDisconnect(mosquitto*, void* self, int code, const mqtt5__property* properties) {
    auto& connection = *static_cast<MqttConnection*>(self);
    const bool wasConnected = connection.connected_.exchange(false);
    if (code == 0 || connection.closing_ || !wasConnected)
        return;
    const std::string clientId = Utf8Printable(connection.clientId_, 100);
    const auto lasted = Clock::now() - connection.connectedAt_;
    if (code == MQTT_RC_SESSION_TAKEN_OVER) {
        connection.takenOver_ = true;
        connection.takeoverDelay_ = MostDelay;
        connection.NoteReason(Format("another client with the client id %s took the session; give each bridge a "
                                     "ClientId of its own (trying again in %lld s)",
                                     clientId.c_str(), static_cast<long long>(MostDelay.count())));
        return;
    }
    if (connection.version_ == 5 && code >= 0x80) {
        const std::string said = ReasonString(properties);
        connection.NoteReason(Format("the broker ended the connection: %s (code %d)%s", mosquitto_reason_string(code),
                                     code, said.empty() ? "" : (": " + said).c_str()));
        return;
    }
    if (lasted >= ShortConnection) {
        connection.suspectedTakeovers_ = 0;
        return;
    }
    // Once it may have been a broker's restart; again, it hardly is.
    connection.takenOver_ = true;
    connection.takeoverDelay_ = ++connection.suspectedTakeovers_ == 1 ? FirstTakeoverDelay : MostDelay;
    connection.NoteReason(Format("the broker ended the connection %.1f s after accepting it: another client "
                                 "with the client id %s has probably taken the session; give each bridge a "
                                 "ClientId of its own (trying again in %lld s)",
                                 std::chrono::duration<double>(lasted).count(), clientId.c_str(),
                                 static_cast<long long>(connection.takeoverDelay_.count())));
}

void MqttConnection::OnMessage(mosquitto*, void* self, const mosquitto_message* message, const mqtt5__property*) {
    auto& connection = *static_cast<MqttConnection*>(self);
    if (!connection.callbacks_.Received || !message->topic)
        return;
    connection.Guarded("a message", [&] {
        Message received;
        received.Topic = message->topic;
        received.Payload.assign(static_cast<const char*>(message->payload),
                                static_cast<std::size_t>(message->payloadlen));
        received.Retained = message->retain;
        connection.callbacks_.Received(received);
    });
}

void MqttConnection::OnUnsubscribe(mosquitto*, void* self, int id) {
    auto& connection = *static_cast<MqttConnection*>(self);
    {
        std::lock_guard<std::mutex> lock(connection.mutex_);
        connection.unsubscribedId_ = id;
    }
    connection.stopping_.notify_all();
}

// The library says the TLS library's reasons only through its log.
void MqttConnection::OnLog(mosquitto*, void* self, int level, const char* text) {
    auto& connection = *static_cast<MqttConnection*>(self);
    if (level != MOSQ_LOG_ERR || !text)
        return;
    std::string cause = text;
    if (cause.rfind("OpenSSL Error", 0) == 0 && cause.find(": ") != std::string::npos)
        cause = cause.substr(cause.find(": ") + 2);
    std::lock_guard<std::mutex> lock(connection.mutex_);
    if (connection.tlsCause_.size() < 400)
        connection.tlsCause_ += (connection.tlsCause_.empty() ? "" : "; ") + Utf8Printable(cause, 200);
}

} // namespace qdl::mqtt
