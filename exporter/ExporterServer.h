#pragma once

#include "ExporterService.h"

#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace qdl::exporter {

// The exporter's service over HTTP (or HTTPS where the web configuration names a certificate),
// on cpp-httplib: eight threads, a bounded queue, request lines of at most 8 KiB.
class ExporterServer {
public:
    // Reads the configuration file; a ConfigError when it cannot serve.
    explicit ExporterServer(ServerOptions options);
    ~ExporterServer();

    ExporterService& Service() { return service_; }

    // Binds the --web.listen-address and returns the port.
    int Bind(const std::string& listenAddress);
    void Serve(); // until Stop()
    void Stop();

private:
    ExporterService service_;
    std::unique_ptr<httplib::Server> server_;
};

} // namespace qdl::exporter
