#include "ListenAddress.h"

#include "Conversions.h"
#include "Failures.h"
#include "TextUtil.h"

namespace qdl::exporter {

ListenAddress ListenAddress::Parse(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos)
        throw control::UsageError(
            Format("--web.listen-address '%s' is no HOST:PORT or :PORT.", Printable(text, 80).c_str()));
    ListenAddress address;
    address.Host = text.substr(0, colon);
    if (address.Host.size() >= 2 && address.Host.front() == '[' && address.Host.back() == ']')
        address.Host = address.Host.substr(1, address.Host.size() - 2);
    if (address.Host.empty())
        address.Host = "0.0.0.0";
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
