#include "ListenAddress.h"

#include "Conversions.h"
#include "Failures.h"
#include "TextUtil.h"

#include <cctype>

namespace qdl::exporter {
namespace {

bool IsIpv4(const std::string& host) {
    int parts = 0;
    for (std::size_t start = 0; start <= host.size(); ++parts) {
        const auto end = std::min(host.find('.', start), host.size());
        const std::string part = host.substr(start, end - start);
        if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(part) > 255)
            return false;
        start = end + 1;
    }
    return parts == 4;
}

// A host name as DNS writes it: labels of letters, digits and hyphens; a name of digits and dots
// alone would be a malformed address, not a name.
bool IsHostName(const std::string& host) {
    if (host.empty() || host.size() > 253 || host.front() == '.' || host.front() == '-')
        return false;
    for (char c : host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.')
            return false;
    return host.find_first_not_of("0123456789.") != std::string::npos;
}

bool IsIpv6(const std::string& host) {
    return host.find(':') != std::string::npos &&
           host.find_first_not_of("0123456789abcdefABCDEF:.%") == std::string::npos;
}

} // namespace

ListenAddress ListenAddress::Parse(const std::string& text) {
    const auto fail = [&](const char* why) {
        return control::UsageError(Format("--web.listen-address '%s' %s", Printable(text, 80).c_str(), why));
    };
    const auto colon = text.rfind(':');
    if (colon == std::string::npos)
        throw fail("is no HOST:PORT or :PORT.");
    ListenAddress address;
    address.Host = text.substr(0, colon);
    if (address.Host.size() >= 2 && address.Host.front() == '[' && address.Host.back() == ']') {
        address.Host = address.Host.substr(1, address.Host.size() - 2);
        if (!IsIpv6(address.Host))
            throw fail("holds no IPv6 address in its brackets.");
    } else if (address.Host.find(':') != std::string::npos) {
        throw fail("has an IPv6 address without brackets: write [ADDRESS]:PORT.");
    } else if (!address.Host.empty() && !IsIpv4(address.Host) && !IsHostName(address.Host)) {
        throw fail("names no host: give a name, an IPv4 address, [an IPv6 address], or nothing for every "
                   "interface.");
    }
    const std::string port = text.substr(colon + 1);
    const auto number = TryStrToInt(port);
    if (!number || *number < 0 || *number > 65535 ||
        port.find_first_not_of("0123456789") != std::string::npos)
        throw control::UsageError(Format("--web.listen-address '%s': '%s' is no TCP port.",
                                         Printable(text, 80).c_str(), Printable(port, 20).c_str()));
    address.Port = *number;
    return address;
}

} // namespace qdl::exporter
