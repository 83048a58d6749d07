#pragma once

#include <stdexcept>
#include <string>

namespace qdl {

// What kind of thing went wrong in an exchange with the switch, for front ends that word their
// failures themselves; the message stays the one the window shows.
enum class DeviceFailureKind {
    Unreachable, // the address cannot be resolved, or the network does not lead there
    Refused,     // the switch's host refused the connection
    Timeout,     // no connection, or no whole reply, within the limits
    Auth,        // the switch refused the user name or password (401)
    Http,        // any other status but 2xx, or a redirect
    Protocol,    // a reply that cannot be read as the switch's
};

class DeviceFailure : public std::runtime_error {
public:
    // `english` stands in for the message where that is not in English; `code` is the socket
    // error number of a socket failure, the status code of an HTTP one, else 0.
    DeviceFailure(DeviceFailureKind kind, const std::string& message, int code = 0, std::string english = {})
        : std::runtime_error(message), kind_(kind), code_(code), english_(std::move(english)) {}

    DeviceFailureKind Kind() const { return kind_; }
    int Code() const { return code_; }
    std::string English() const { return english_.empty() ? what() : english_; }

private:
    DeviceFailureKind kind_;
    int code_;
    std::string english_;
};

} // namespace qdl
