#include "DelayedCall.h"

#include "ServiceLog.h"

namespace qdl::mqtt {

DelayedCall::DelayedCall(std::function<void()> call) : call_(std::move(call)), thread_([this] { Run(); }) {}

DelayedCall::~DelayedCall() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void DelayedCall::Request(std::chrono::milliseconds delay) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (due_)
            return;
        due_ = std::chrono::steady_clock::now() + delay;
    }
    wake_.notify_all();
}

void DelayedCall::Run() {
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
            call_();
        } catch (const std::exception& failure) {
            control::Log(control::LogLevel::Error, "A delayed task of the bridge failed",
                         control::Field("reason", failure.what()));
        }
        lock.lock();
    }
}

} // namespace qdl::mqtt
