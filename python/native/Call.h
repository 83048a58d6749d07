#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>

namespace qdl::python {

// One operation on a switch, run on a worker thread while its Python caller waits, and what the
// caller's stop request (Ctrl-C) may still do to it. Before a change has written anything, a stop
// ends it at its next write, so nothing is switched; once it has written, it runs to its end (a
// cycle cuts its off time short and switches the outlets on again), as qdlctl does.
class Call {
public:
    // On the worker, before each write to the switch: fails with a Failure of kind Interrupted
    // when the caller was stopped before the first one.
    void BeforeWrite();
    // On the worker: true once the caller was stopped.
    bool Interrupted() const;
    // On the worker: waits for `time`, or less when the caller is stopped; false when cut short.
    bool Wait(std::chrono::milliseconds time);
    // On the worker: what the change did, in words, for the note of a stop that waited for it.
    void SetOutcome(std::string outcome);
    // On the worker, at its end: its failure, if any.
    void Finish(std::exception_ptr failure);

    // On the caller: true once the worker has finished; waits up to `slice` for it.
    bool WaitDone(std::chrono::milliseconds slice);
    // On the caller, at a stop request: true when the change had written already, so that the
    // caller waits for its end; false when nothing was or will be written.
    bool Interrupt();
    std::exception_ptr Failure() const;
    std::string Outcome() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool interrupted_ = false, wrote_ = false, done_ = false;
    std::exception_ptr failure_;
    std::string outcome_;
};

} // namespace qdl::python
