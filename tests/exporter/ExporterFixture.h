#pragma once

#include "ExporterService.h"
#include "HttpServer.h"
#include "TempFolder.h"

#include <sys/stat.h>

#include <memory>
#include <string>
#include <thread>

namespace qdl::test {

// A configuration file as the exporter takes it: readable by its owner and group only.
inline std::string PrivateFile(const TempFolder& folder, const std::string& name, const std::string& text) {
    const std::string path = folder.File(name);
    WriteBytes(path, text);
    ::chmod(path.c_str(), 0640);
    return path;
}

// The exporter in this process, serving on a free loopback port until the object goes.
class RunningExporter {
public:
    explicit RunningExporter(exporter::ServerOptions options, exporter::ServerLimits limits = {})
        : service_(std::move(options)), server_(service_, limits, std::nullopt) {
        service_.CountConnectionsWith([this] { return server_.OpenConnections(); });
        port_ = server_.Bind("127.0.0.1:0");
        serving_ = std::thread([this] { server_.Serve(); });
    }
    ~RunningExporter() {
        server_.Stop();
        serving_.join();
        service_.Finish(std::chrono::seconds(30));
    }
    int Port() const { return port_; }
    exporter::ExporterService& Service() { return service_; }

private:
    exporter::ExporterService service_;
    exporter::HttpServer server_;
    int port_ = 0;
    std::thread serving_;
};

} // namespace qdl::test
