#pragma once

#include <stdexcept>
#include <string>

namespace qdl {
class DeviceFailure;
}

namespace qdl::control {

struct SwitchTarget;

// What kind of thing went wrong, as scripts tell failures apart.
enum class FailureKind {
    Usage,       // what the caller typed cannot be done as it stands; nothing was sent
    Config,      // no usable settings: no switch named, a file or section missing
    Refused,     // the switch's host refused the connection
    Unreachable, // the address cannot be resolved, or the network does not lead there
    Timeout,     // no connection, no whole reply or no turn at the switch within the limits
    Auth,        // the switch refused the user name or password
    Http,        // the switch answered with an HTTP failure
    Protocol,    // the switch's reply cannot be read
    Check,       // the switch answered, but does not show what was asked
    Interrupted, // a stop request ended the command
};

// "usage", "config", ...: the names scripts see.
const char* KindName(FailureKind kind);

// Every failure of the operations: an English message, naming the switch where there is one.
class Failure : public std::runtime_error {
public:
    Failure(FailureKind kind, const std::string& message, int httpStatus = 0)
        : std::runtime_error(message), kind_(kind), httpStatus_(httpStatus) {}
    FailureKind Kind() const { return kind_; }
    // The status the switch answered, for a failure of kind Http (and Auth); else 0.
    int HttpStatus() const { return httpStatus_; }

private:
    FailureKind kind_;
    int httpStatus_;
};

struct UsageError : Failure {
    explicit UsageError(const std::string& message) : Failure(FailureKind::Usage, message) {}
};

struct ConfigError : Failure {
    explicit ConfigError(const std::string& message) : Failure(FailureKind::Config, message) {}
};

struct CheckFailed : Failure {
    explicit CheckFailed(const std::string& message) : Failure(FailureKind::Check, message) {}
};

// The device library's failure told in English, by its kind, naming the switch; socket error
// numbers and HTTP status lines stay in parentheses.
Failure Described(const DeviceFailure& failure, const SwitchTarget& target);

// Any failure as a Failure: itself; of kind Interrupted for a stop the thread's check asked for
// (platform::StopRequested); or of kind Protocol for what the device library raised without a
// kind.
Failure AsFailure(const std::exception& failure, const SwitchTarget& target);

} // namespace qdl::control
