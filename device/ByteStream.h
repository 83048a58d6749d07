#pragma once

#include "DeviceFailure.h"

#include <chrono>
#include <string>

namespace qdl {

using Clock = std::chrono::steady_clock;

// Nothing (or not all) arrived from the switch in time.
struct ReadTimeout : DeviceFailure {
    ReadTimeout() : DeviceFailure(DeviceFailureKind::Timeout, "Read Timeout") {}
};

// The two directions of one exchange with the switch. Every call is bounded by `deadline`, also
// while the peer keeps sending: a call made after it fails with "Read Timeout".
class ByteStream {
public:
    virtual ~ByteStream() = default;

    virtual void Send(const std::string& bytes, Clock::time_point deadline) = 0;

    // Up to `size` bytes; 0 when the peer has closed its side.
    virtual std::size_t Receive(char* buffer, std::size_t size, Clock::time_point deadline) = 0;
};

} // namespace qdl
