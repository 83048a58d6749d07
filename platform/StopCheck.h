#pragma once

#include <chrono>
#include <exception>
#include <functional>

namespace qdl::platform {

// A stop asked of what this thread waits for: Ctrl-C in a program that runs an exchange on its
// own thread, as a Python caller does.
struct StopRequested : std::exception {
    const char* what() const noexcept override { return "stopped"; }
};

// While one lives, this thread's waits for a socket or for a switch's lock look at `stopRequested`
// whenever a signal interrupts them and at least every StopCheckSlice, and end with StopRequested
// when it says so. Without one, they wait as before.
class StopCheckScope {
public:
    explicit StopCheckScope(std::function<bool()> stopRequested);
    ~StopCheckScope();
    StopCheckScope(const StopCheckScope&) = delete;
    StopCheckScope& operator=(const StopCheckScope&) = delete;

private:
    std::function<bool()> check_;
    const std::function<bool()>* outer_;
};

inline constexpr std::chrono::milliseconds StopCheckSlice{20};

// Throws StopRequested when this thread's check says so; nothing without a check.
void CheckForStop();
// True while this thread has a check: its waits then sleep no longer than StopCheckSlice at once.
bool StopIsChecked();

} // namespace qdl::platform
