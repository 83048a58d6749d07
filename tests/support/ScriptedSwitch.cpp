#include "ScriptedSwitch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace qdl::test {
namespace {

void SendAll(int socket, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0)
            return;
        sent += static_cast<std::size_t>(count);
    }
}

// Waits until the client closes, sends more, or the server stops; true when the server stops.
bool WaitForClientOrStop(int client, int wake) {
    pollfd entries[2] = {{client, POLLIN, 0}, {wake, POLLIN, 0}};
    ::poll(entries, 2, -1);
    return (entries[1].revents & POLLIN) != 0;
}

} // namespace

ScriptedSwitch::ScriptedSwitch() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 || ::pipe(wake_) != 0)
        throw std::runtime_error("the scripted switch could not listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

ScriptedSwitch::~ScriptedSwitch() {
    const char stop = 's';
    (void)!::write(wake_[1], &stop, 1);
    thread_.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void ScriptedSwitch::Script(Answer answer) {
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(answer));
}

void ScriptedSwitch::DefaultAnswer(Answer answer) {
    std::lock_guard lock(mutex_);
    defaultAnswer_ = std::move(answer);
}

void ScriptedSwitch::ReplyBody(const std::string& body) {
    Reply("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
          "\r\n\r\n" + body);
}

std::vector<std::string> ScriptedSwitch::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t ScriptedSwitch::Connections() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

void ScriptedSwitch::WaitForConnections(std::size_t count) const {
    std::unique_lock lock(mutex_);
    recorded_.wait(lock, [&] { return requests_.size() >= count; });
}

ScriptedSwitch::Answer ScriptedSwitch::NextAnswer() {
    std::lock_guard lock(mutex_);
    if (script_.empty())
        return defaultAnswer_;
    Answer answer = std::move(script_.front());
    script_.pop_front();
    return answer;
}

void ScriptedSwitch::Serve() {
    for (;;) {
        pollfd entries[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        ::poll(entries, 2, -1);
        if (entries[1].revents & POLLIN)
            return;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        Handle(client);
        ::close(client);
    }
}

void ScriptedSwitch::Handle(int client) {
    const Answer answer = NextAnswer();
    std::string request;
    if (answer.ReadRequest) {
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t count = ::recv(client, buffer, sizeof buffer, 0);
            if (count <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(count));
        }
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    recorded_.notify_all();
    if (answer.Delay.count() > 0) {
        pollfd stop{wake_[0], POLLIN, 0};
        if (::poll(&stop, 1, static_cast<int>(answer.Delay.count())) > 0)
            return;
    }
    SendAll(client, answer.Bytes);
    if (!answer.Repeat.empty())
        Stream(client, answer);
    if (answer.After == Then::Reset) {
        const linger abort{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    } else if (answer.After == Then::Hold) {
        WaitForClientOrStop(client, wake_[0]);
    }
}

void ScriptedSwitch::Stream(int client, const Answer& answer) {
    for (;;) {
        pollfd entries[2] = {{client, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        ::poll(entries, 2, static_cast<int>(answer.Every.count()));
        if (entries[1].revents & POLLIN)
            return;
        char buffer[256];
        if ((entries[0].revents & (POLLIN | POLLHUP | POLLERR)) &&
            ::recv(client, buffer, sizeof buffer, 0) <= 0)
            return;
        if (::send(client, answer.Repeat.data(), answer.Repeat.size(), MSG_NOSIGNAL) <= 0)
            return;
    }
}

std::string ExpectedRequest(const std::string& target, const std::string& host,
                            const std::string& authorization, const std::string& cookie) {
    std::string request =
        "GET " + target + " HTTP/1.1\r\nHost: " + host +
        "\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
        "Authorization: Basic " +
        authorization + "\r\n";
    if (!cookie.empty())
        request += "Cookie: " + cookie + "\r\n";
    return request + "\r\n";
}

} // namespace qdl::test
