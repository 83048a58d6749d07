#include "Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>
#include <mutex>

namespace qdl::platform {
namespace {

// Winsock starts once for the process, before its first socket.
void StartWinsock() {
    static std::once_flag started;
    std::call_once(started, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

SOCKET Handle(std::intptr_t handle) {
    return static_cast<SOCKET>(handle);
}

[[noreturn]] void ThrowLastError() {
    throw SocketError(WSAGetLastError());
}

enum class Ready { Read, Write, Failed };

// Waits until the socket can be read (or written); Failed when a connect failed. select() rather
// than WSAPoll, which does not report a failed connect on every Windows version.
Ready WaitUntil(SOCKET socket, bool writing, SocketClock::time_point deadline) {
    for (;;) {
        const auto left = deadline - SocketClock::now();
        if (left <= SocketClock::duration::zero())
            throw SocketTimeout();
        // Rounded up: a wait of 0 ms would spin until the deadline.
        const auto microseconds = std::chrono::ceil<std::chrono::microseconds>(left).count();
        timeval timeout{static_cast<long>(microseconds / 1000000), static_cast<long>(microseconds % 1000000)};
        fd_set ready, failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(socket, &ready);
        FD_SET(socket, &failed);
        const int count =
            select(0, writing ? nullptr : &ready, writing ? &ready : nullptr, &failed, &timeout);
        if (count == SOCKET_ERROR)
            ThrowLastError();
        if (FD_ISSET(socket, &failed))
            return Ready::Failed;
        if (FD_ISSET(socket, &ready))
            return writing ? Ready::Write : Ready::Read;
    }
}

struct AddrInfoDeleter {
    void operator()(addrinfo* info) const { freeaddrinfo(info); }
};

} // namespace

TcpConnection::TcpConnection(const std::string& address, int port, SocketClock::time_point deadline) {
    StartWinsock();
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET)
        ThrowLastError();
    handle_ = static_cast<std::intptr_t>(socket);
    try {
        u_long nonBlocking = 1;
        ioctlsocket(socket, FIONBIO, &nonBlocking);
        const BOOL yes = TRUE;
        setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes), sizeof yes);
        sockaddr_in socketAddress{};
        socketAddress.sin_family = AF_INET;
        socketAddress.sin_port = htons(static_cast<u_short>(port));
        if (inet_pton(AF_INET, address.c_str(), &socketAddress.sin_addr) != 1)
            throw SocketError(WSAEINVAL);
        if (::connect(socket, reinterpret_cast<const sockaddr*>(&socketAddress), sizeof socketAddress) == 0)
            return;
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            ThrowLastError();
        // Writable: connected, nothing more to ask.
        if (WaitUntil(socket, true, deadline) == Ready::Write)
            return;
        int error = 0;
        int length = sizeof error;
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
            error = WSAGetLastError();
        throw SocketError(error != 0 ? error : WSAECONNREFUSED);
    } catch (...) {
        closesocket(socket);
        throw;
    }
}

TcpConnection::~TcpConnection() {
    shutdown(Handle(handle_), SD_SEND);
    closesocket(Handle(handle_));
}

void TcpConnection::Send(const char* bytes, std::size_t size, SocketClock::time_point deadline) {
    std::size_t sent = 0;
    while (sent < size) {
        if (SocketClock::now() >= deadline)
            throw SocketTimeout();
        const int count = ::send(Handle(handle_), bytes + sent, static_cast<int>(size - sent), 0);
        if (count >= 0)
            sent += static_cast<std::size_t>(count);
        else if (WSAGetLastError() == WSAEWOULDBLOCK)
            WaitUntil(Handle(handle_), true, deadline);
        else
            ThrowLastError();
    }
}

std::size_t TcpConnection::Receive(char* buffer, std::size_t size, SocketClock::time_point deadline) {
    for (;;) {
        WaitUntil(Handle(handle_), false, deadline);
        const int count = ::recv(Handle(handle_), buffer, static_cast<int>(size), 0);
        if (count >= 0)
            return static_cast<std::size_t>(count);
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            ThrowLastError();
    }
}

bool IsDottedIPv4(const std::string& text) {
    StartWinsock();
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

std::string ResolveIPv4(const std::string& host) {
    StartWinsock();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    // Windows answers with its resolver codes (11001 and on); anything else (wine passes the
    // system's own negative codes through) is a host that was not found.
    if (const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found); error != 0)
        throw SocketError(error >= WSABASEERR ? error : WSAHOST_NOT_FOUND);
    const std::unique_ptr<addrinfo, AddrInfoDeleter> results(found);
    char text[INET_ADDRSTRLEN] = "";
    const auto* address = reinterpret_cast<const sockaddr_in*>(results->ai_addr);
    inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    return text;
}

} // namespace qdl::platform
