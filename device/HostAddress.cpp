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
    // The switch speaks IPv4 only: an IPv6 address is said to be one, not left to a resolver code.
    if (host.find(':') != std::string::npos)
        throw DeviceFailure(DeviceFailureKind::Unreachable,
                            SocketErrorMessage(HostNotFound) + " " + host +
                                " is an IPv6 address; the switch is reached over IPv4 only.",
                            HostNotFound);
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
