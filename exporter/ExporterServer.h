#pragma once

#include "ExporterConfig.h"
#include "SelfMetrics.h"
#include "SharedProbes.h"
#include "WebConfig.h"

#include <httplib.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

namespace qdl::exporter {

struct ServerOptions {
    std::string ConfigFile;
    std::chrono::milliseconds ProbeTimeout{5000};
    WebConfig Web;
    std::string Version;
};

// The exporter's HTTP side: /probe?target=NAME for one switch of the configuration, /metrics for
// its own, / a page listing the switches, POST /-/reload. A target that the configuration does not
// name is answered 400 and never connected to.
class ExporterServer {
public:
    // Reads the configuration file; a ConfigError when it cannot serve.
    explicit ExporterServer(ServerOptions options);
    ~ExporterServer();

    // Rereads the configuration file; a bad new file keeps the old one. The reason when it failed.
    std::optional<std::string> Reload();

    // Binds "host:port" (":port" for every interface; port 0 takes a free one) and returns the port.
    int Bind(const std::string& listenAddress);
    void Serve(); // until Stop()
    void Stop();

private:
    void Route();
    void Probe(const httplib::Request& request, httplib::Response& response);
    std::shared_ptr<const ExporterConfig> Config() const;

    ServerOptions options_;
    std::unique_ptr<httplib::Server> server_;
    mutable std::mutex configMutex_;
    std::shared_ptr<const ExporterConfig> config_;
    SharedProbes probes_;
    SelfMetrics metrics_;
};

} // namespace qdl::exporter
