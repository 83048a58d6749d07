#pragma once

#include <string>

namespace qdl::exporter {

// --web.listen-address as the exporters take it: HOST:PORT, [HOST]:PORT, or :PORT for every
// interface; port 0 takes a free one. A UsageError naming the text otherwise.
struct ListenAddress {
    std::string Host;
    int Port = 0;
    static ListenAddress Parse(const std::string& text);
};

} // namespace qdl::exporter
