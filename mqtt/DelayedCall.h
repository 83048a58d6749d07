#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace qdl::mqtt {

// `call` run on a thread of this object's own, a delay after it was asked for; asking again while
// a call waits joins that call. For answers that must not come at once (Home Assistant's
// "online", said by every restart of it, asks for everything after a random delay) and for
// deadlines (an answer from the broker that never comes).
class DelayedCall {
public:
    explicit DelayedCall(std::function<void()> call);
    ~DelayedCall();
    DelayedCall(const DelayedCall&) = delete;
    DelayedCall& operator=(const DelayedCall&) = delete;

    void Request(std::chrono::milliseconds delay);

private:
    void Run();

    const std::function<void()> call_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::chrono::steady_clock::time_point> due_;
    bool stopped_ = false;
    std::thread thread_; // last: it starts once everything above is made
};

} // namespace qdl::mqtt
