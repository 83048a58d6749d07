#include "RawHttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <regex>
#include <stdexcept>

namespace qdl::test {

using Clock = std::chrono::steady_clock;

RawConnection::RawConnection(int port, const std::string& from) {
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in source{};
    source.sin_family = AF_INET;
    if (socket_ < 0 || ::inet_pton(AF_INET, from.c_str(), &source.sin_addr) != 1 ||
        ::bind(socket_, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
        ::close(socket_);
        throw std::runtime_error("cannot connect from " + from);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(socket_);
        throw std::runtime_error("cannot connect to the server under test");
    }
}

RawConnection::~RawConnection() {
    ::close(socket_);
}

bool RawConnection::ClosedNow() {
    pollfd wanted{socket_, POLLIN, 0};
    while (::poll(&wanted, 1, 0) == 1) {
        char buffer[4096];
        if (::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT) <= 0)
            return true;
    }
    return false;
}

void RawConnection::Reset() {
    const linger abort{1, 0};
    ::setsockopt(socket_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(socket_);
    socket_ = -1;
}

bool RawConnection::Send(const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t written = ::send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (written <= 0)
            return false;
        sent += static_cast<std::size_t>(written);
    }
    return true;
}

bool RawConnection::ReadSome(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd wanted{socket_, POLLIN, 0};
    if (left <= 0 || ::poll(&wanted, 1, static_cast<int>(left)) <= 0)
        return false;
    char buffer[65536];
    const ssize_t got = ::recv(socket_, buffer, sizeof buffer, 0);
    if (got <= 0)
        return false;
    received_.append(buffer, static_cast<std::size_t>(got));
    return true;
}

std::string RawConnection::ReadAll(std::chrono::milliseconds within) {
    const auto deadline = Clock::now() + within;
    while (ReadSome(deadline)) {
    }
    return std::move(received_);
}

std::vector<std::string> RawConnection::ReadAnswers(std::size_t count, std::chrono::milliseconds within) {
    const auto deadline = Clock::now() + within;
    std::vector<std::string> answers;
    for (;;) {
        const auto headEnd = received_.find("\r\n\r\n");
        std::smatch length;
        const std::string head = headEnd == std::string::npos ? "" : received_.substr(0, headEnd);
        if (headEnd != std::string::npos &&
            std::regex_search(head, length, std::regex("Content-Length: (\\d+)", std::regex::icase))) {
            const std::size_t size = headEnd + 4 + std::stoul(length[1]);
            if (received_.size() >= size) {
                answers.push_back(received_.substr(0, size));
                received_.erase(0, size);
                if (answers.size() == count)
                    return answers;
                continue;
            }
        }
        if (!ReadSome(deadline))
            return answers;
    }
}

bool RawConnection::ClosedWithin(std::chrono::milliseconds within) {
    const auto deadline = Clock::now() + within;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd wanted{socket_, POLLIN, 0};
        if (left <= 0 || ::poll(&wanted, 1, static_cast<int>(left)) <= 0)
            return false;
        char buffer[4096];
        if (::recv(socket_, buffer, sizeof buffer, 0) <= 0)
            return true;
    }
}

std::vector<int> StatusCodes(const std::string& bytes) {
    std::vector<int> codes;
    const std::regex status("HTTP/1\\.[01] (\\d{3}) ");
    for (auto match = std::sregex_iterator(bytes.begin(), bytes.end(), status);
         match != std::sregex_iterator(); ++match)
        codes.push_back(std::stoi((*match)[1]));
    return codes;
}

} // namespace qdl::test
