#pragma once

#include <string>

namespace qdl::exporter {

// --web.listen-address as the exporters take it: HOST:PORT, [IPv6]:PORT, or :PORT for every
// interface, IPv4 and IPv6; port 0 takes a free one. HOST is a name (localhost) or an IPv4
// address; an IPv6 address goes in brackets. A UsageError naming the text otherwise.
struct ListenAddress {
    std::string Host; // empty: every interface
    int Port = 0;
    static ListenAddress Parse(const std::string& text);
};

} // namespace qdl::exporter
