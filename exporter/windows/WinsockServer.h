#pragma once

#include "BoundedPool.h"
#include "ExporterService.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace qdl::exporter {

// The exporter's service over plain HTTP on Winsock, for Windows, where Debian has no cpp-httplib:
// one request per connection (Connection: close), a request head of at most 16 KiB that must
// arrive within 5 s, eight threads and a bounded queue as on Linux.
class WinsockServer {
public:
    explicit WinsockServer(const ServerOptions& options);
    ~WinsockServer();
    WinsockServer(const WinsockServer&) = delete;
    WinsockServer& operator=(const WinsockServer&) = delete;

    ExporterService& Service() { return service_; }

    int Bind(const std::string& listenAddress);
    void Serve(); // until Stop()
    void Stop();

private:
    void Answer(std::intptr_t client);

    ExporterService service_;
    std::atomic<std::intptr_t> listener_{-1};
    BoundedPool pool_;
};

} // namespace qdl::exporter
