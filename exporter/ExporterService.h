#pragma once

#include "Authenticator.h"
#include "HttpExchange.h"
#include "LoginChecks.h"
#include "SelfMetrics.h"
#include "SharedProbes.h"
#include "SwitchesFile.h"
#include "WebConfig.h"
#include "WorkerPool.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace qdl::exporter {

struct ServerOptions {
    std::string ConfigFile;
    // A probe's time where the scrape sends no shorter one.
    std::chrono::milliseconds ProbeTimeout{5000};
    // What a scrape's own timeout leaves for the answer to travel, as the blackbox exporter's
    // --timeout-offset; never more than a quarter of a short timeout.
    std::chrono::milliseconds TimeoutOffset{500};
    WebConfig Web;
    std::string Version;
};

// What the exporter answers: /probe?target=NAME for one switch of the configuration, /metrics
// for its own, / a page listing the switches, /-/healthy and /-/ready, POST /-/reload; basic
// authentication first where the web configuration has users. A target that the configuration
// does not name is answered 400 and never connected to. A probe answers by its deadline, counted
// from the request's arrival: the scrape's timeout less the offset, whatever it waited for.
class ExporterService : public RequestHandler {
public:
    // Reads the configuration file; a ConfigError when it cannot serve.
    explicit ExporterService(ServerOptions options);

    void Handle(HttpRequest request, std::shared_ptr<Reply> reply) override;

    // Rereads the configuration file; a bad new file keeps the old one. The reason when it failed.
    std::optional<std::string> Reload();

    // Where /metrics learns how many connections are open.
    void CountConnectionsWith(std::function<std::size_t()> count) { openConnections_ = std::move(count); }

    // Takes no more work and waits up to `within` for the probes and logins running: true when
    // they all ended.
    bool Finish(std::chrono::milliseconds within);

private:
    void Route(const HttpRequest& request, const std::shared_ptr<Reply>& reply);
    void Probe(const HttpRequest& request, const std::shared_ptr<Reply>& reply);
    void CheckLogin(HttpRequest request, const std::shared_ptr<Reply>& reply, const std::string& user,
                    const std::string& password);
    HttpAnswer LandingPage() const;
    HttpAnswer OwnMetrics() const;
    std::chrono::milliseconds ProbeTime(const HttpRequest& request) const;
    std::shared_ptr<const SwitchesFile> Config() const;

    ServerOptions options_;
    mutable std::mutex configMutex_;
    std::shared_ptr<const SwitchesFile> config_;
    Authenticator authenticator_;
    SelfMetrics metrics_;
    std::function<std::size_t()> openConnections_;
    // Last, so that they end first: their jobs use everything above.
    SharedProbes probes_;
    LoginChecks logins_;
    WorkerPool chores_; // reloads, off the server's thread
};

} // namespace qdl::exporter
