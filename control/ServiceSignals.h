#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace qdl::control {

// What a service's main does with signals (the exporter, the MQTT bridge; POSIX): SIGHUP reloads
// the configuration, SIGTERM and SIGINT stop the service. They are taken on a thread of their
// own, so that a reload runs as any other code does and never on a network loop.
class ServiceSignals {
public:
    // Blocks the three signals for this thread and every thread made from now on, and ignores
    // SIGPIPE (a peer that went away is an error where it is written to). First thing in main.
    static void Block();

    // What `reload` and `stop` throw is logged; the thread goes on.
    ServiceSignals(std::function<void()> reload, std::function<void()> stop);
    ~ServiceSignals(); // ends the thread, without calling `stop`
    ServiceSignals(const ServiceSignals&) = delete;
    ServiceSignals& operator=(const ServiceSignals&) = delete;

private:
    std::thread thread_;
    std::atomic<bool> ending_{false}; // set before the destructor wakes the thread
};

} // namespace qdl::control
