#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qdl::exporter {

// The server's connections, served by a fixed number of threads from a queue of fixed length. A
// connection that finds the queue full is served by the thread that accepted it, so that a scrape
// flood slows down accepting (the system's backlog holds the rest) instead of growing memory.
class BoundedPool {
public:
    BoundedPool(std::size_t threads, std::size_t queued);
    ~BoundedPool();
    BoundedPool(const BoundedPool&) = delete;
    BoundedPool& operator=(const BoundedPool&) = delete;

    void Enqueue(std::function<void()> job);
    // Lets the queued jobs finish, then ends the threads.
    void Shutdown();

private:
    void Work();

    const std::size_t most_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace qdl::exporter
