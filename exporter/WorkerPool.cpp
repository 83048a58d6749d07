#include "WorkerPool.h"

namespace qdl::exporter {
namespace {

// How long a thread without work waits for more before it ends.
constexpr std::chrono::seconds IdleThread{10};

} // namespace

WorkerPool::WorkerPool(std::size_t mostThreads) : most_(mostThreads) {}

WorkerPool::~WorkerPool() {
    // Each running job ends by its own deadline.
    Finish(std::chrono::hours(24));
}

void WorkerPool::Run(std::function<void()> job) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (finishing_)
        return;
    jobs_.push_back(std::move(job));
    if (idle_ < jobs_.size() && threads_ < most_) {
        ++threads_;
        // Detached: Finish() counts the threads out instead of joining them.
        std::thread([this] { Work(); }).detach();
    }
    ready_.notify_one();
}

bool WorkerPool::Finish(std::chrono::milliseconds within) {
    std::unique_lock<std::mutex> lock(mutex_);
    finishing_ = true;
    jobs_.clear();
    ready_.notify_all();
    return ended_.wait_for(lock, within, [this] { return threads_ == 0; });
}

void WorkerPool::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ++idle_;
        const bool woken = ready_.wait_for(lock, IdleThread, [this] { return finishing_ || !jobs_.empty(); });
        --idle_;
        if (!woken || jobs_.empty())
            break;
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        try {
            job();
        } catch (...) {
            // A job answers its own failures; one that throws anyway must not end the exporter.
        }
        job = nullptr;
        lock.lock();
    }
    --threads_;
    // Notified under the lock: the pool may be gone as soon as Finish() sees the count at zero.
    ended_.notify_all();
}

} // namespace qdl::exporter
