#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qdl::exporter {

// Threads for the work that blocks (an exchange with a switch, a password hash), so that the
// server's own thread never waits. A job gets a thread at once while fewer than `mostThreads`
// are busy, and waits in line otherwise; threads are made when needed and end after a while
// without work, so an idle exporter holds none.
class WorkerPool {
public:
    explicit WorkerPool(std::size_t mostThreads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void Run(std::function<void()> job);
    // Takes no more jobs, drops those still in line, and waits up to `within` for the running
    // ones: true when every thread has ended.
    bool Finish(std::chrono::milliseconds within);

private:
    void Work();

    const std::size_t most_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable ended_;
    std::deque<std::function<void()>> jobs_;
    std::size_t threads_ = 0, idle_ = 0;
    bool finishing_ = false;
};

} // namespace qdl::exporter
