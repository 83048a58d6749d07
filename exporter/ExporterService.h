#pragma once

#include "ExporterConfig.h"
#include "SelfMetrics.h"
#include "SharedProbes.h"
#include "WebConfig.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qdl::exporter {

struct ServerOptions {
    std::string ConfigFile;
    std::chrono::milliseconds ProbeTimeout{5000};
    WebConfig Web;
    std::string Version;
};

// A request as the exporter reads it, whatever server received it.
struct HttpRequest {
    std::string Method;
    std::string Path;
    std::map<std::string, std::string> Params;      // the query's, decoded
    std::function<std::string(const char*)> Header; // by name, regardless of case; empty when absent
};

struct HttpAnswer {
    int Status = 200;
    std::string ContentType = "text/plain; charset=utf-8";
    std::string Body;
    std::vector<std::pair<std::string, std::string>> Headers;
};

// What the exporter answers: /probe?target=NAME for one switch of the configuration, /metrics
// for its own, / a page listing the switches, POST /-/reload; basic authentication first where
// the web configuration has users. A target that the configuration does not name is answered 400
// and never connected to.
class ExporterService {
public:
    // Reads the configuration file; a ConfigError when it cannot serve.
    explicit ExporterService(ServerOptions options);

    HttpAnswer Handle(const HttpRequest& request);

    // Rereads the configuration file; a bad new file keeps the old one. The reason when it failed.
    std::optional<std::string> Reload();

private:
    HttpAnswer Probe(const HttpRequest& request);
    HttpAnswer LandingPage() const;
    std::shared_ptr<const ExporterConfig> Config() const;

    ServerOptions options_;
    mutable std::mutex configMutex_;
    std::shared_ptr<const ExporterConfig> config_;
    SharedProbes probes_;
    SelfMetrics metrics_;
};

} // namespace qdl::exporter
