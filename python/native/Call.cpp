#include "Call.h"

#include "Failures.h"

namespace qdl::python {

void Call::BeforeWrite() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (interrupted_ && !wrote_)
        throw control::Failure(control::FailureKind::Interrupted,
                               "Stopped by KeyboardInterrupt before anything was written.");
    wrote_ = true;
}

bool Call::Interrupted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return interrupted_;
}

bool Call::Wait(std::chrono::milliseconds time) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !changed_.wait_for(lock, time, [this] { return interrupted_; });
}

void Call::SetOutcome(std::string outcome) {
    std::lock_guard<std::mutex> lock(mutex_);
    outcome_ = std::move(outcome);
}

void Call::Finish(std::exception_ptr failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    failure_ = std::move(failure);
    done_ = true;
    changed_.notify_all();
}

bool Call::WaitDone(std::chrono::milliseconds slice) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, slice, [this] { return done_; });
}

bool Call::Interrupt() {
    std::lock_guard<std::mutex> lock(mutex_);
    interrupted_ = true;
    changed_.notify_all();
    return wrote_;
}

std::exception_ptr Call::Failure() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

std::string Call::Outcome() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return outcome_;
}

} // namespace qdl::python
