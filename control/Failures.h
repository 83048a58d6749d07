#pragma once

#include <stdexcept>
#include <string>

namespace qdl::control {

// What a caller typed cannot be done as it stands; nothing was sent to the switch.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The switch answered, but does not show what was asked of it.
struct CheckFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Every other failure (the switch unreachable, an HTTP error, a reply that cannot be read) is a
// plain std::runtime_error carrying the device library's own message.

} // namespace qdl::control
