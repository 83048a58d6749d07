#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

namespace qdl::mqtt {

// Home Assistant's "online", said again by every restart of it (and by every hub that copies
// it), asks for everything again: the answer waits a random time up to `most`, as Home
// Assistant asks, and every further request meanwhile joins it. `announce` runs on a thread of
// this object's own.
class Reannouncement {
public:
    explicit Reannouncement(std::function<void()> announce, std::chrono::milliseconds most = std::chrono::seconds(5));
    ~Reannouncement();
    Reannouncement(const Reannouncement&) = delete;
    Reannouncement& operator=(const Reannouncement&) = delete;

    void Request();

private:
    void Run();

    const std::function<void()> announce_;
    const std::chrono::milliseconds most_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::chrono::steady_clock::time_point> due_;
    bool stopped_ = false;
    std::minstd_rand random_{std::random_device{}()};
    std::thread thread_; // last: it starts once everything above is made
};

} // namespace qdl::mqtt
