#pragma once

#include "ByteStream.h"
#include "Socket.h"

#include <chrono>
#include <string>

namespace qdl {

// One TCP connection to the switch. Closing shuts the sending side down first, so the switch sees
// an orderly close.
class Connection : public ByteStream {
public:
    // Connects to a resolved IPv4 address within `connectTimeout`; fails with "Connect timed
    // out." or the socket error messages.
    Connection(const std::string& address, int port, std::chrono::milliseconds connectTimeout);

    void Send(const std::string& bytes, Clock::time_point deadline) override;
    std::size_t Receive(char* buffer, std::size_t size, Clock::time_point deadline) override;

private:
    platform::TcpConnection socket_;
};

} // namespace qdl
