#include "BoundedPool.h"

namespace qdl::exporter {

BoundedPool::BoundedPool(std::size_t threads, std::size_t queued) : most_(queued) {
    for (std::size_t i = 0; i < threads; ++i)
        threads_.emplace_back([this] { Work(); });
}

BoundedPool::~BoundedPool() {
    Shutdown();
}

void BoundedPool::Enqueue(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (jobs_.size() < most_) {
            jobs_.push_back(std::move(job));
            ready_.notify_one();
            return;
        }
    }
    job();
}

void BoundedPool::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_)
            return;
        stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void BoundedPool::Work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty())
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

} // namespace qdl::exporter
