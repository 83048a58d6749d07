#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace qdl::platform {

using SocketClock = std::chrono::steady_clock;

// A failed socket or resolver call, by its Windows socket error number: native on Windows, and
// translated from the system's own number elsewhere, so that messages read alike everywhere.
struct SocketError : std::runtime_error {
    explicit SocketError(int code) : std::runtime_error("socket error " + std::to_string(code)), Code(code) {}
    int Code;
};

// A wait for the network that reached its deadline.
struct SocketTimeout : std::runtime_error {
    SocketTimeout() : std::runtime_error("socket timeout") {}
};

// One TCP connection without delay on small writes, closed in order when it goes: the sending
// side is shut down first, so the peer sees an orderly close. Every wait is computed from the
// caller's deadline, so that no interruption can stretch it.
class TcpConnection {
public:
    // Connects to a dotted IPv4 address; SocketTimeout when the deadline passes first.
    TcpConnection(const std::string& address, int port, SocketClock::time_point deadline);
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    void Send(const char* bytes, std::size_t size, SocketClock::time_point deadline);
    // Up to `size` bytes; 0 when the peer has closed its side.
    std::size_t Receive(char* buffer, std::size_t size, SocketClock::time_point deadline);

private:
    std::intptr_t handle_;
};

bool IsDottedIPv4(const std::string& text);

// The first IPv4 address the system's resolver gives for a host name.
std::string ResolveIPv4(const std::string& host);

} // namespace qdl::platform
