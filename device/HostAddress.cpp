#include "HostAddress.h"

#include "SocketError.h"
#include "TextUtil.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <memory>

namespace qdl {
namespace {

struct AddrInfoDeleter {
    void operator()(addrinfo* info) const { freeaddrinfo(info); }
};

bool CanBeHostName(const std::string& host) {
    return !host.empty() && std::none_of(host.begin(), host.end(), [](char c) {
        const auto code = static_cast<unsigned char>(c);
        return code <= ' ' || code == 0x7F || c == '@' || c == '/' || c == '\\';
    });
}

bool IsDottedIPv4(const std::string& host) {
    in_addr address{};
    return inet_pton(AF_INET, host.c_str(), &address) == 1;
}

} // namespace

std::string ResolveHostAddress(const std::string& host) {
    if (!CanBeHostName(host))
        throw SocketFailure(ResolverErrorCode(EAI_NONAME), true);
    if (IsDottedIPv4(host))
        return host;
    if (EqualsIgnoringCase(host, "localhost"))
        return "127.0.0.1";
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found); error != 0)
        throw SocketFailure(ResolverErrorCode(error), true);
    const std::unique_ptr<addrinfo, AddrInfoDeleter> results(found);
    char text[INET_ADDRSTRLEN] = "";
    const auto* address = reinterpret_cast<const sockaddr_in*>(results->ai_addr);
    inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    return text;
}

} // namespace qdl
