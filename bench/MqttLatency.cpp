// From an MQTT command to the state message that confirms it, as a hub sees it
// (scripts/bench-mqtt.sh): the median of ROUNDS commands, each waiting for its confirmation.
//
//   mqtt_latency BROKER_PORT PREFIX SWITCH OUTLET ROUNDS
#include "MqttConnection.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: mqtt_latency BROKER_PORT PREFIX SWITCH OUTLET ROUNDS\n");
        return 2;
    }
    using Clock = std::chrono::steady_clock;
    const std::string base = std::string(argv[2]) + "/" + argv[3] + "/outlet/" + argv[4];
    const int rounds = std::stoi(argv[5]);
    std::mutex mutex;
    std::condition_variable arrived;
    std::string last;
    bool connected = false;
    qdl::mqtt::BrokerSettings broker;
    broker.Host = "127.0.0.1";
    broker.Port = std::stoi(argv[1]);
    broker.ClientId = "mqtt-latency";
    std::unique_ptr<qdl::mqtt::MqttConnection> connection;
    connection = std::make_unique<qdl::mqtt::MqttConnection>(
        broker, "mqtt-latency/gone", "1",
        qdl::mqtt::MqttConnection::Callbacks{[&] {
                                                 connection->Subscribe(base + "/state");
                                                 std::lock_guard<std::mutex> lock(mutex);
                                                 connected = true;
                                                 arrived.notify_all();
                                             },
                                             {},
                                             [&](const qdl::mqtt::Message& message) {
                                                 std::lock_guard<std::mutex> lock(mutex);
                                                 last = message.Payload;
                                                 arrived.notify_all();
                                             }});
    connection->Start();
    std::unique_lock<std::mutex> lock(mutex);
    if (!arrived.wait_for(lock, std::chrono::seconds(10), [&] { return connected && !last.empty(); })) {
        std::fprintf(stderr, "no state from the bridge\n");
        return 1;
    }
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const std::string wanted = last == "ON" ? "OFF" : "ON";
        lock.unlock();
        const auto start = Clock::now();
        connection->Publish(base + "/set", wanted, false);
        lock.lock();
        if (!arrived.wait_for(lock, std::chrono::seconds(10), [&] { return last == wanted; })) {
            std::fprintf(stderr, "no confirmation of %s\n", wanted.c_str());
            return 1;
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    std::printf("command to confirmed state over MQTT: median %.2f ms, slowest %.2f ms (%d rounds)\n",
                times[times.size() / 2], times.back(), rounds);
    lock.unlock();
    connection->Stop("mqtt-latency/gone", "0");
    return 0;
}
