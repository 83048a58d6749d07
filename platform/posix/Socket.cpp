#include "Socket.h"

#include "StopCheck.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>

namespace qdl::platform {
namespace {

// The Windows socket error number for an errno, the errno itself when it has none.
int WindowsCode(int posixErrno) {
    static const std::map<int, int> codes{
        {EINTR, 10004},         {EBADF, 10009},        {EACCES, 10013},          {EFAULT, 10014},
        {EINVAL, 10022},        {EMFILE, 10024},       {EWOULDBLOCK, 10035},     {EINPROGRESS, 10036},
        {EALREADY, 10037},      {ENOTSOCK, 10038},     {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},
        {EPROTOTYPE, 10041},    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
        {EOPNOTSUPP, 10045},    {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},
        {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},     {ENETUNREACH, 10051},     {ENETRESET, 10052},
        {ECONNABORTED, 10053},  {ECONNRESET, 10054},   {EPIPE, 10054},           {ENOBUFS, 10055},
        {EISCONN, 10056},       {ENOTCONN, 10057},     {ESHUTDOWN, 10058},       {ETOOMANYREFS, 10059},
        {ETIMEDOUT, 10060},     {ECONNREFUSED, 10061}, {ELOOP, 10062},           {ENAMETOOLONG, 10063},
        {EHOSTDOWN, 10064},     {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066},       {EDQUOT, 10069},
        {ESTALE, 10070},        {EREMOTE, 10071},
    };
    const auto found = codes.find(posixErrno);
    return found == codes.end() ? posixErrno : found->second;
}

// The Windows resolver numbers for getaddrinfo() results.
int ResolverCode(int gaiError) {
    switch (gaiError) {
    case EAI_AGAIN:
        return 11002;
    case EAI_FAIL:
        return 11003;
    case EAI_NODATA:
        return 11004;
    case EAI_SYSTEM:
        return WindowsCode(errno);
    default:
        return 11001;
    }
}

[[noreturn]] void ThrowErrno(int error) {
    throw SocketError(WindowsCode(error));
}

int Descriptor(std::intptr_t handle) {
    return static_cast<int>(handle);
}

// Waits until the socket is ready for `events` and returns what poll() saw.
short WaitUntil(int socket, short events, SocketClock::time_point deadline) {
    for (;;) {
        const auto left = deadline - SocketClock::now();
        if (left <= SocketClock::duration::zero())
            throw SocketTimeout();
        // Rounded up: a wait of 0 ms would spin until the deadline.
        auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        if (StopIsChecked())
            milliseconds = std::min<decltype(milliseconds)>(milliseconds, StopCheckSlice.count());
        pollfd entry{socket, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(milliseconds));
        if (ready > 0)
            return entry.revents;
        if (ready < 0 && errno != EINTR)
            ThrowErrno(errno);
        // A signal, or the end of a slice where a stop is checked.
        CheckForStop();
    }
}

struct AddrInfoDeleter {
    void operator()(addrinfo* info) const { freeaddrinfo(info); }
};

} // namespace

TcpConnection::TcpConnection(const std::string& address, int port, SocketClock::time_point deadline)
    : handle_(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
    if (handle_ < 0)
        ThrowErrno(errno);
    const int socket = Descriptor(handle_);
    const int yes = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = htons(static_cast<uint16_t>(port));
    try {
        if (inet_pton(AF_INET, address.c_str(), &socketAddress.sin_addr) != 1)
            ThrowErrno(EINVAL);
        if (::connect(socket, reinterpret_cast<const sockaddr*>(&socketAddress), sizeof socketAddress) == 0)
            return;
        if (errno != EINPROGRESS && errno != EINTR)
            ThrowErrno(errno);
        // Writable without an error condition: connected, nothing more to ask.
        if ((WaitUntil(socket, POLLOUT, deadline) & (POLLERR | POLLHUP)) == 0)
            return;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        if (error != 0)
            ThrowErrno(error);
    } catch (...) {
        ::close(socket);
        throw;
    }
}

TcpConnection::~TcpConnection() {
    ::shutdown(Descriptor(handle_), SHUT_WR);
    ::close(Descriptor(handle_));
}

void TcpConnection::Send(const char* bytes, std::size_t size, SocketClock::time_point deadline) {
    // A fresh connection takes the request at once: wait only when its buffer is full.
    std::size_t sent = 0;
    while (sent < size) {
        if (SocketClock::now() >= deadline)
            throw SocketTimeout();
        const ssize_t count = ::send(Descriptor(handle_), bytes + sent, size - sent, MSG_NOSIGNAL);
        if (count >= 0)
            sent += static_cast<std::size_t>(count);
        else if (errno == EAGAIN || errno == EWOULDBLOCK)
            WaitUntil(Descriptor(handle_), POLLOUT, deadline);
        else if (errno != EINTR)
            ThrowErrno(errno);
    }
}

std::size_t TcpConnection::Receive(char* buffer, std::size_t size, SocketClock::time_point deadline) {
    for (;;) {
        WaitUntil(Descriptor(handle_), POLLIN, deadline);
        const ssize_t count = ::recv(Descriptor(handle_), buffer, size, 0);
        if (count >= 0)
            return static_cast<std::size_t>(count);
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            ThrowErrno(errno);
    }
}

bool IsDottedIPv4(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

std::string ResolveIPv4(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found); error != 0)
        throw SocketError(ResolverCode(error));
    const std::unique_ptr<addrinfo, AddrInfoDeleter> results(found);
    char text[INET_ADDRSTRLEN] = "";
    const auto* address = reinterpret_cast<const sockaddr_in*>(results->ai_addr);
    inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    return text;
}

} // namespace qdl::platform
