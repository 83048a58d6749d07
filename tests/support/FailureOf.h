#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace qdl::test {

// The message of the failure `operation` throws, or "no failure".
inline std::string FailureOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const std::runtime_error& failure) {
        return failure.what();
    }
    return "no failure";
}

} // namespace qdl::test
