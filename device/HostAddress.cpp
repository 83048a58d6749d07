#include "HostAddress.h"

#include "Socket.h"
#include "SocketError.h"
#include "TextUtil.h"

#include <algorithm>

namespace qdl {
namespace {

bool CanBeHostName(const std::string& host) {
    return !host.empty() && std::none_of(host.begin(), host.end(), [](char c) {
        const auto code = static_cast<unsigned char>(c);
        return code <= ' ' || code == 0x7F || c == '@' || c == '/' || c == '\\';
    });
}

} // namespace

std::string ResolveHostAddress(const std::string& host) {
    if (!CanBeHostName(host))
        throw SocketFailure(HostNotFound, true);
    if (platform::IsDottedIPv4(host))
        return host;
    if (EqualsIgnoringCase(host, "localhost"))
        return "127.0.0.1";
    try {
        return platform::ResolveIPv4(host);
    } catch (const platform::SocketError& failure) {
        throw SocketFailure(failure.Code, true);
    }
}

} // namespace qdl
