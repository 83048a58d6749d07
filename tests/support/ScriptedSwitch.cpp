#include "ScriptedSwitch.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <stdexcept>

namespace qdl::test {
namespace {

#ifdef _WIN32
using Socket = SOCKET;
void CloseSocket(Socket socket) {
    closesocket(socket);
}
constexpr int NoSignal = 0;
struct Winsock {
    Winsock() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
#else
using Socket = int;
void CloseSocket(Socket socket) {
    ::close(socket);
}
constexpr int NoSignal = MSG_NOSIGNAL;
#endif

Socket Native(std::intptr_t socket) {
    return static_cast<Socket>(socket);
}

void SendAll(Socket socket, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const auto count =
            ::send(socket, bytes.data() + sent, static_cast<int>(bytes.size() - sent), NoSignal);
        if (count <= 0)
            return;
        sent += static_cast<std::size_t>(count);
    }
}

// A socket of `type` bound to a free port on 127.0.0.1; its address in `address`.
Socket BoundSocket(int type, sockaddr_in& address) {
#ifdef _WIN32
    static Winsock started;
#endif
    const Socket socket = ::socket(AF_INET, type, 0);
    const int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the scripted switch could not bind 127.0.0.1");
    return socket;
}

} // namespace

ScriptedSwitch::ScriptedSwitch() {
    sockaddr_in address{};
    listener_ = static_cast<std::intptr_t>(BoundSocket(SOCK_STREAM, address));
    port_ = ntohs(address.sin_port);
    if (::listen(Native(listener_), 16) != 0)
        throw std::runtime_error("the scripted switch could not listen on 127.0.0.1");
    wake_ = static_cast<std::intptr_t>(BoundSocket(SOCK_DGRAM, address));
    thread_ = std::thread([this] { Serve(); });
}

ScriptedSwitch::~ScriptedSwitch() {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(Native(wake_), reinterpret_cast<sockaddr*>(&address), &length);
    const char stop = 's';
    ::sendto(Native(wake_), &stop, 1, 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
    thread_.join();
    CloseSocket(Native(listener_));
    CloseSocket(Native(wake_));
}

bool ScriptedSwitch::WaitReadable(std::intptr_t socket, std::chrono::milliseconds time) const {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Native(socket), &readable);
    FD_SET(Native(wake_), &readable);
    timeval timeout{static_cast<long>(time.count() / 1000), static_cast<long>(time.count() % 1000 * 1000)};
    const auto highest = static_cast<int>(std::max(socket, wake_)) + 1;
    ::select(highest, &readable, nullptr, nullptr, time.count() < 0 ? nullptr : &timeout);
    return !FD_ISSET(Native(wake_), &readable);
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

std::vector<std::chrono::steady_clock::time_point> ScriptedSwitch::RequestTimes() const {
    std::lock_guard lock(mutex_);
    return times_;
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
    while (WaitReadable(listener_, std::chrono::milliseconds(-1))) {
        const Socket client = ::accept(Native(listener_), nullptr, nullptr);
        if (client == static_cast<Socket>(-1))
            continue;
        Handle(static_cast<std::intptr_t>(client));
        CloseSocket(client);
    }
}

void ScriptedSwitch::Handle(std::intptr_t client) {
    const Answer answer = NextAnswer();
    std::string request;
    if (answer.ReadRequest) {
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const auto count = ::recv(Native(client), buffer, sizeof buffer, 0);
            if (count <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(count));
        }
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        times_.push_back(std::chrono::steady_clock::now());
    }
    recorded_.notify_all();
    if (answer.Delay.count() > 0 && !WaitReadable(wake_, answer.Delay))
        return;
    SendAll(Native(client), answer.Bytes);
    if (!answer.Repeat.empty())
        Stream(client, answer);
    if (answer.After == Then::Reset) {
        const linger abort{1, 0};
        ::setsockopt(Native(client), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                     sizeof abort);
    } else if (answer.After == Then::Hold) {
        WaitReadable(client, std::chrono::milliseconds(-1));
    }
}

// Sends the answer's repeat again and again until the client goes or the server stops; without
// a pause, many at a time, so that the client sees a flood also where sockets are slow.
void ScriptedSwitch::Stream(std::intptr_t client, const Answer& answer) {
    std::string batch = answer.Repeat;
    while (answer.Every.count() == 0 && batch.size() < 16384)
        batch += answer.Repeat;
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(Native(client), &readable);
        FD_SET(Native(wake_), &readable);
        timeval every{static_cast<long>(answer.Every.count() / 1000),
                      static_cast<long>(answer.Every.count() % 1000 * 1000)};
        ::select(static_cast<int>(std::max(client, wake_)) + 1, &readable, nullptr, nullptr, &every);
        if (FD_ISSET(Native(wake_), &readable))
            return;
        char buffer[256];
        if (FD_ISSET(Native(client), &readable) && ::recv(Native(client), buffer, sizeof buffer, 0) <= 0)
            return;
        if (::send(Native(client), batch.data(), static_cast<int>(batch.size()), NoSignal) <= 0)
            return;
    }
}

int ClosedPort() {
    sockaddr_in address{};
    const Socket probe = BoundSocket(SOCK_STREAM, address);
    CloseSocket(probe);
    return ntohs(address.sin_port);
}

FullListener::FullListener() {
    sockaddr_in address{};
    const Socket listener = BoundSocket(SOCK_STREAM, address);
    listener_ = static_cast<std::intptr_t>(listener);
    ::listen(listener, 0);
    port_ = ntohs(address.sin_port);
    for (std::intptr_t& filler : fillers_) {
        const Socket socket = ::socket(AF_INET, SOCK_STREAM, 0);
#ifdef _WIN32
        u_long nonBlocking = 1;
        ioctlsocket(socket, FIONBIO, &nonBlocking);
#else
        ::fcntl(socket, F_SETFL, O_NONBLOCK);
#endif
        ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        filler = static_cast<std::intptr_t>(socket);
    }
}

FullListener::~FullListener() {
    for (std::intptr_t filler : fillers_)
        CloseSocket(Native(filler));
    CloseSocket(Native(listener_));
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
