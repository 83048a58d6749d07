#include "Connection.h"

#include "SocketError.h"
#include "TextUtil.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <stdexcept>

namespace qdl {
namespace {

[[noreturn]] void ThrowSocketError(int posixErrno) {
    throw std::runtime_error(SocketErrorMessage(SocketErrorCode(posixErrno)));
}

} // namespace

Connection::Connection(const std::string& address, int port, std::chrono::milliseconds connectTimeout)
    : curl_(curl_easy_init()) {
    if (!curl_)
        throw std::runtime_error("The HTTP client could not be initialised.");
    CURL* curl = curl_.get();
    const std::string url = Format("http://%s:%d/", address.c_str(), port);
    char curlError[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, curlError);

    const CURLcode result = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    if (result == CURLE_OPERATION_TIMEDOUT)
        throw std::runtime_error("Connect timed out.");
    if (result != CURLE_OK) {
        long osErrno = 0;
        curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osErrno);
        if (osErrno != 0)
            ThrowSocketError(static_cast<int>(osErrno));
        throw std::runtime_error(curlError[0] != '\0' ? curlError : curl_easy_strerror(result));
    }
    curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &socket_);
    if (socket_ == CURL_SOCKET_BAD)
        ThrowSocketError(ENOTCONN);
}

Connection::~Connection() {
    if (socket_ != CURL_SOCKET_BAD)
        ::shutdown(socket_, SHUT_WR);
}

void Connection::WaitFor(short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            throw ReadTimeout();
        pollfd entry{socket_, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()) + 1);
        if (ready > 0)
            return;
        if (ready < 0 && errno != EINTR)
            ThrowSocketError(errno);
    }
}

void Connection::Send(const std::string& bytes, Clock::time_point deadline) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = ::send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count >= 0) {
            sent += static_cast<std::size_t>(count);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            WaitFor(POLLOUT, deadline);
        } else if (errno != EINTR) {
            ThrowSocketError(errno);
        }
    }
}

std::size_t Connection::Receive(char* buffer, std::size_t size, Clock::time_point deadline) {
    for (;;) {
        const ssize_t count = ::recv(socket_, buffer, size, 0);
        if (count >= 0)
            return static_cast<std::size_t>(count);
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            WaitFor(POLLIN, deadline);
        else if (errno != EINTR)
            ThrowSocketError(errno);
    }
}

} // namespace qdl
