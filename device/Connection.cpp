#include "Connection.h"

#include "SocketError.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace qdl {
namespace {

[[noreturn]] void ThrowSocketError(int posixErrno, bool connecting = false) {
    throw SocketFailure(SocketErrorCode(posixErrno), connecting);
}

// Waits until the socket is ready for `events` and returns what poll() saw (0 when the deadline
// passes first). Each wait is computed from the one deadline, so interruptions cannot stretch it.
short WaitUntil(int socket, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return 0;
        // Rounded up: a wait of 0 ms would spin until the deadline.
        const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        pollfd entry{socket, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(milliseconds));
        if (ready > 0)
            return entry.revents;
        if (ready < 0 && errno != EINTR)
            ThrowSocketError(errno);
    }
}

sockaddr_in SocketAddress(const std::string& address, int port) {
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &socketAddress.sin_addr) != 1)
        ThrowSocketError(EINVAL, true);
    return socketAddress;
}

} // namespace

Connection::Connection(const std::string& address, int port, std::chrono::milliseconds connectTimeout)
    : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
    if (!socket_)
        ThrowSocketError(errno, true);
    const int yes = 1;
    ::setsockopt(socket_.get(), IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    const sockaddr_in socketAddress = SocketAddress(address, port);
    const auto deadline = Clock::now() + connectTimeout;
    if (::connect(socket_.get(), reinterpret_cast<const sockaddr*>(&socketAddress), sizeof socketAddress) ==
        0)
        return;
    if (errno != EINPROGRESS && errno != EINTR)
        ThrowSocketError(errno, true);
    const short ready = WaitUntil(socket_.get(), POLLOUT, deadline);
    if (ready == 0)
        throw DeviceFailure(DeviceFailureKind::Timeout, "Connect timed out.");
    // Writable without an error condition: connected, nothing more to ask.
    if ((ready & (POLLERR | POLLHUP)) == 0)
        return;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket_.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0)
        ThrowSocketError(error, true);
}

Connection::~Connection() {
    ::shutdown(socket_.get(), SHUT_WR);
}

void Connection::Send(const std::string& bytes, Clock::time_point deadline) {
    // A fresh connection takes the request at once: wait only when its buffer is full.
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        if (Clock::now() >= deadline)
            throw ReadTimeout();
        const ssize_t count = ::send(socket_.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count >= 0)
            sent += static_cast<std::size_t>(count);
        else if (errno == EAGAIN || errno == EWOULDBLOCK)
            WaitUntil(socket_.get(), POLLOUT, deadline);
        else if (errno != EINTR)
            ThrowSocketError(errno);
    }
}

std::size_t Connection::Receive(char* buffer, std::size_t size, Clock::time_point deadline) {
    for (;;) {
        if (!WaitUntil(socket_.get(), POLLIN, deadline))
            throw ReadTimeout();
        const ssize_t count = ::recv(socket_.get(), buffer, size, 0);
        if (count >= 0)
            return static_cast<std::size_t>(count);
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            ThrowSocketError(errno);
    }
}

} // namespace qdl
