#include "Reannouncement.h"

#include "ServiceLog.h"

namespace qdl::mqtt {

Reannouncement::Reannouncement(std::function<void()> announce, std::chrono::milliseconds most)
    : announce_(std::move(announce)), most_(most), thread_([this] { Run(); }) {}

Reannouncement::~Reannouncement() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void Reannouncement::Request() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (due_)
            return;
        std::uniform_int_distribution<long long> delay(0, most_.count());
        due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(delay(random_));
    }
    wake_.notify_all();
}

void Reannouncement::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopped_ || due_; });
        if (stopped_)
            return;
        if (wake_.wait_until(lock, *due_, [this] { return stopped_; }))
            return;
        due_.reset();
        lock.unlock();
        try {
            announce_();
        } catch (const std::exception& failure) {
            control::Log(control::LogLevel::Error, "Discovery not published again",
                         control::Field("reason", failure.what()));
        }
        lock.lock();
    }
}

} // namespace qdl::mqtt
