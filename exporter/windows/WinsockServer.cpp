#include "WinsockServer.h"

#include "Failures.h"
#include "ListenAddress.h"
#include "Log.h"
#include "TextUtil.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <map>

namespace qdl::exporter {
namespace {

constexpr std::size_t MostHead = 16 * 1024;
constexpr DWORD ReadMilliseconds = 5000;

std::string Decoded(const std::string& text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            decoded += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

const char* Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    default:
        return "Internal Server Error";
    }
}

void SendAll(SOCKET socket, const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const int count = ::send(socket, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (count <= 0)
            return;
        sent += static_cast<std::size_t>(count);
    }
}

// The request head, up to its empty line; nothing when it is too long, broken off or too slow.
std::optional<std::string> ReadHead(SOCKET socket) {
    std::string head;
    char buffer[2048];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > MostHead)
            return std::nullopt;
        const int count = ::recv(socket, buffer, sizeof buffer, 0);
        if (count <= 0)
            return std::nullopt;
        head.append(buffer, static_cast<std::size_t>(count));
    }
    return head.substr(0, head.find("\r\n\r\n"));
}

HttpAnswer Refused(const char* reason) {
    HttpAnswer answer;
    answer.Status = 400;
    answer.Body = std::string(reason) + "\n";
    return answer;
}

} // namespace

WinsockServer::WinsockServer(const ServerOptions& options) : service_(options), pool_(8, 32) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

WinsockServer::~WinsockServer() {
    Stop();
}

int WinsockServer::Bind(const std::string& listenAddress) {
    const ListenAddress address = ListenAddress::Parse(listenAddress);
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<u_short>(address.Port));
    int length = sizeof local;
    if (socket == INVALID_SOCKET || inet_pton(AF_INET, address.Host.c_str(), &local.sin_addr) != 1 ||
        ::bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(socket, SOMAXCONN) != 0 ||
        getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        if (socket != INVALID_SOCKET)
            closesocket(socket);
        throw control::UsageError(Format(
            "Cannot listen on %s: the address is not this machine's IPv4 address, or the port is in use.",
            Printable(listenAddress, 80).c_str()));
    }
    listener_ = static_cast<std::intptr_t>(socket);
    return ntohs(local.sin_port);
}

void WinsockServer::Serve() {
    for (;;) {
        const std::intptr_t listener = listener_;
        if (listener < 0)
            return;
        const SOCKET client = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
        if (client == INVALID_SOCKET) {
            if (listener_ < 0)
                return;
            continue;
        }
        pool_.Enqueue([this, client] { Answer(static_cast<std::intptr_t>(client)); });
    }
}

void WinsockServer::Stop() {
    const std::intptr_t listener = listener_.exchange(-1);
    if (listener >= 0)
        closesocket(static_cast<SOCKET>(listener));
}

void WinsockServer::Answer(std::intptr_t handle) {
    const SOCKET socket = static_cast<SOCKET>(handle);
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ReadMilliseconds),
               sizeof ReadMilliseconds);
    HttpAnswer answer;
    HttpRequest request;
    std::map<std::string, std::string> headers;
    const auto head = ReadHead(socket);
    const auto lineEnd = head ? head->find("\r\n") : std::string::npos;
    const std::string line = head ? head->substr(0, lineEnd) : std::string();
    const auto first = line.find(' '), second = line.rfind(' ');
    if (!head || first == std::string::npos || second == first) {
        answer = Refused("The request is too long or cannot be read.");
    } else {
        request.Method = line.substr(0, first);
        const std::string target = line.substr(first + 1, second - first - 1);
        request.Path = Decoded(target.substr(0, target.find('?')));
        if (const auto query = target.find('?'); query != std::string::npos)
            for (std::size_t start = query + 1; start <= target.size();) {
                const auto end = std::min(target.find('&', start), target.size());
                const std::string pair = target.substr(start, end - start);
                const auto equals = pair.find('=');
                request.Params.emplace(Decoded(pair.substr(0, equals)),
                                       equals == std::string::npos ? "" : Decoded(pair.substr(equals + 1)));
                start = end + 1;
            }
        for (std::size_t start = lineEnd + 2; lineEnd != std::string::npos && start < head->size();) {
            const auto end = std::min(head->find("\r\n", start), head->size());
            const std::string field = head->substr(start, end - start);
            if (const auto colon = field.find(':'); colon != std::string::npos)
                headers[LowerCase(Trim(field.substr(0, colon)))] = Trim(field.substr(colon + 1));
            start = end + 2;
        }
        request.Header = [&headers](const char* name) {
            const auto found = headers.find(LowerCase(name));
            return found == headers.end() ? std::string() : found->second;
        };
        answer = service_.Handle(request);
    }
    std::string reply =
        Format("HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %zu\r\nConnection: close\r\n",
               answer.Status, Reason(answer.Status), answer.ContentType.c_str(), answer.Body.size());
    for (const auto& [name, value] : answer.Headers)
        reply += name + ": " + value + "\r\n";
    SendAll(socket, reply + "\r\n" + (request.Method == "HEAD" ? std::string() : answer.Body));
    shutdown(socket, SD_SEND);
    closesocket(socket);
}

} // namespace qdl::exporter
