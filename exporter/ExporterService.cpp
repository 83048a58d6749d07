#include "ExporterService.h"

#include "Base64.h"
#include "Metrics.h"
#include "RequestTarget.h"
#include "ServiceLog.h"
#include "TextUtil.h"

#include <cstdlib>
#include <ctime>

namespace qdl::exporter {
namespace {

using control::Field;
using control::Log;
using control::LogLevel;

const char* const Exposition = "text/plain; version=0.0.4; charset=utf-8";
// Exchanges with switches at once, at most: one per switch, each on a thread of its own, so this
// is far above what a configuration names.
constexpr std::size_t MostExchanges = 1024;

HttpAnswer Refusal(int status, const std::string& reason) {
    HttpAnswer answer;
    answer.Status = status;
    answer.Body = reason + "\n";
    return answer;
}

// Come back in a second.
HttpAnswer Retry(HttpAnswer answer) {
    answer.Headers.emplace_back("Retry-After", "1");
    return answer;
}

HttpAnswer TooManyFailures() {
    HttpAnswer refused = Refusal(429, "Too many wrong passwords from this address; try again later.");
    refused.Headers.emplace_back("Retry-After", "15");
    return refused;
}

HttpAnswer Unauthorized(const HttpRequest& request) {
    HttpAnswer refused = Refusal(401, "Unauthorized");
    refused.Headers.emplace_back("WWW-Authenticate", "Basic");
    Log(LogLevel::Warn, "Refused a request without valid credentials",
        Field("path", Printable(request.Path, 80)));
    return refused;
}

// "user" and "password" of a Basic Authorization header; nothing without one.
std::optional<std::pair<std::string, std::string>> Credentials(const HttpRequest& request) {
    const std::string header = request.Header("Authorization");
    if (header.rfind("Basic ", 0) != 0)
        return std::nullopt;
    const std::string pair = Base64Decode(Trim(header.substr(6))).value_or("");
    const auto colon = pair.find(':');
    if (colon == std::string::npos)
        return std::nullopt;
    return std::pair{pair.substr(0, colon), pair.substr(colon + 1)};
}

HttpAnswer ExpositionAnswer(const control::ProbeResult& result, const control::ProbeRequest& probe) {
    HttpAnswer answer;
    answer.ContentType = Exposition;
    answer.Body = control::ProbeExposition(result, probe, std::time(nullptr));
    return answer;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

ExporterService::ExporterService(ServerOptions options)
    : options_(std::move(options)),
      config_(std::make_shared<const SwitchesFile>(SwitchesFile::Read(options_.ConfigFile))),
      authenticator_(options_.Web.Users), probes_(MostExchanges), logins_(LoginChecks::Limits{}), chores_(1) {
    metrics_.Reloaded(true);
    if (config_->Switches().empty())
        Log(LogLevel::Warn, "The configuration file names no switch yet: every probe is refused",
            Field("file", options_.ConfigFile));
}

std::shared_ptr<const SwitchesFile> ExporterService::Config() const {
    std::lock_guard<std::mutex> lock(configMutex_);
    return config_;
}

std::optional<std::string> ExporterService::Reload() {
    try {
        auto fresh = std::make_shared<const SwitchesFile>(SwitchesFile::Read(options_.ConfigFile));
        const std::size_t count = fresh->Switches().size();
        {
            std::lock_guard<std::mutex> lock(configMutex_);
            config_ = std::move(fresh);
        }
        metrics_.Reloaded(true);
        Log(LogLevel::Info, "Configuration reloaded",
            Field("file", options_.ConfigFile) + " " + Field("switches", std::to_string(count)));
        return std::nullopt;
    } catch (const std::exception& failure) {
        metrics_.Reloaded(false);
        Log(LogLevel::Error, "Configuration not reloaded; the old one stays",
            Field("reason", failure.what()));
        return std::string(failure.what());
    }
}

bool ExporterService::Finish(std::chrono::milliseconds within) {
    const auto until = Clock::now() + within;
    const auto left = [until] {
        return std::max(std::chrono::milliseconds(0),
                        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()));
    };
    const bool hashes = logins_.Finish(within);
    const bool chores = chores_.Finish(left());
    return probes_.Finish(left()) && hashes && chores;
}

// The scrape's own timeout less the offset, where Prometheus sends it and it is the shorter.
std::chrono::milliseconds ExporterService::ProbeTime(const HttpRequest& request) const {
    const std::string header = request.Header("X-Prometheus-Scrape-Timeout-Seconds");
    char* end = nullptr;
    const double seconds = std::strtod(header.c_str(), &end);
    if (header.empty() || end == header.c_str() || *end != '\0' || !(seconds > 0) || seconds > 86400)
        return options_.ProbeTimeout;
    const std::chrono::milliseconds scrape(static_cast<long long>(seconds * 1000));
    const auto offset = std::min(options_.TimeoutOffset, scrape / 4);
    return std::max(std::chrono::milliseconds(1), std::min(options_.ProbeTimeout, scrape - offset));
}

void ExporterService::Handle(HttpRequest request, std::shared_ptr<Reply> reply) {
    if (authenticator_.Open())
        return Route(request, reply);
    const auto credentials = Credentials(request);
    if (!credentials) {
        reply->Send(Unauthorized(request));
        return;
    }
    if (authenticator_.Remembered(credentials->first, credentials->second))
        return Route(request, reply);
    CheckLogin(std::move(request), reply, credentials->first, credentials->second);
}

// A password not seen before costs a bcrypt hash: off this thread, in turn with other clients,
// within the request's time.
void ExporterService::CheckLogin(HttpRequest request, const std::shared_ptr<Reply>& reply,
                                 const std::string& user, const std::string& password) {
    const auto deadline = request.Received + ProbeTime(request);
    const std::string peer = request.Peer;
    LoginChecks::Check check;
    check.Wanted = [reply] { return !reply->Answered(); };
    check.Verify = [this, request = std::move(request), reply, user, password] {
        const bool verified = authenticator_.Verify(user, password);
        if (verified)
            Route(request, reply);
        else
            reply->Send(Unauthorized(request));
        return verified;
    };
    check.Refused = [reply] { reply->Send(TooManyFailures()); };
    switch (logins_.Add(peer, std::move(check))) {
    case LoginChecks::Admission::Queued:
        reply->SendBy(deadline,
                      [] { return Refusal(503, "The login could not be checked in time; try again."); });
        break;
    case LoginChecks::Admission::TooMany:
        reply->Send(
            Retry(Refusal(503, "Too many logins from this address are being checked at once; try again.")));
        break;
    case LoginChecks::Admission::TooManyFailures:
        Log(LogLevel::Warn, "Refused a login without checking it: too many wrong passwords from its address",
            Field("address", peer));
        reply->Send(TooManyFailures());
        break;
    }
}

void ExporterService::Route(const HttpRequest& request, const std::shared_ptr<Reply>& reply) {
    const bool get = request.Method == "GET" || request.Method == "HEAD";
    if (get && request.Path == "/probe")
        return Probe(request, reply);
    if (get && request.Path == "/metrics")
        reply->Send(OwnMetrics());
    else if (get && request.Path == "/")
        reply->Send(LandingPage());
    else if (get && request.Path == "/-/healthy")
        reply->Send(Refusal(200, "Healthy."));
    else if (get && request.Path == "/-/ready")
        reply->Send(Refusal(200, "Ready."));
    else if ((request.Method == "POST" || request.Method == "PUT") && request.Path == "/-/reload")
        // A large file takes a while to read: never on the server's thread.
        chores_.Run([this, reply] {
            const auto failure = Reload();
            reply->Send(failure ? Refusal(500, "The configuration was not reloaded: " + *failure)
                                : Refusal(200, "Reloaded."));
        });
    else
        reply->Send(Refusal(404,
                            "Not found: the paths are /, /probe?target=NAME, /metrics, /-/healthy, /-/ready "
                            "and POST /-/reload."));
}

HttpAnswer ExporterService::OwnMetrics() const {
    ServingNow now;
    now.ProbesInFlight = probes_.InFlight();
    now.OpenConnections = openConnections_ ? openConnections_() : 0;
    HttpAnswer answer;
    answer.ContentType = Exposition;
    answer.Body = metrics_.Exposition(options_.Version, now);
    return answer;
}

HttpAnswer ExporterService::LandingPage() const {
    HttpAnswer answer;
    answer.ContentType = "text/html; charset=utf-8";
    answer.Body =
        "<!DOCTYPE html>\n<html><head><title>Quadrel 4816 exporter</title></head><body>\n"
        "<h1>Quadrel 4816 exporter</h1>\n<p><a href=\"metrics\">The exporter's own metrics</a></p>\n"
        "<h2>Switches</h2>\n<ul>\n";
    for (const SwitchEntry& entry : Config()->Switches())
        answer.Body += "<li><a href=\"probe?target=" + MarkupEscaped(QueryEscaped(entry.Name)) + "\">" +
                       MarkupEscaped(entry.Name) + "</a></li>\n";
    answer.Body += "</ul>\n</body></html>\n";
    return answer;
}

void ExporterService::Probe(const HttpRequest& request, const std::shared_ptr<Reply>& reply) {
    const std::string name = request.Param("target");
    if (request.Params.count("target") > 1) {
        reply->Send(Refusal(400, "Give the switch once: target= is given more than once."));
        return;
    }
    const auto config = Config();
    const SwitchEntry* entry = config->Find(name);
    if (!entry) {
        Log(LogLevel::Debug, "Refused a probe of an unknown target", Field("target", Printable(name, 64)));
        reply->Send(Refusal(400, name.empty()
                                     ? "Give the switch as target=NAME, a section of the configuration file."
                                     : Format("Unknown target '%s': the targets are the sections of the "
                                              "configuration file.",
                                              Printable(name, 64).c_str())));
        return;
    }
    control::ProbeRequest probe;
    const std::string schedule = request.Param("schedule");
    probe.Schedule = entry->Schedule || schedule == "1" || schedule == "true";
    probe.OutletNames = entry->OutletNames;
    // The configured spelling, whatever case the scrape wrote: one switch, one label.
    probe.SwitchLabel = entry->Name;
    probe.Deadline = request.Received + ProbeTime(request);
    const auto received = request.Received;
    reply->SendBy(probe.Deadline, [this, probe, received] {
        control::ProbeResult late;
        late.Kind = control::FailureKind::Timeout;
        late.FailureKind = "timeout";
        late.DurationSeconds = SecondsSince(received);
        metrics_.Probed(probe.SwitchLabel, false, late.FailureKind, late.DurationSeconds);
        Log(LogLevel::Debug, "Probe failed",
            Field("target", probe.SwitchLabel) + " " + Field("kind", "timeout") + " " +
                Field("reason", "no result within the probe's time"));
        return ExpositionAnswer(late, probe);
    });
    probes_.Probe(*entry, probe, [this, reply, probe, received](control::ProbeResult result) {
        // From the scrape's arrival: a wait for its turn is part of what the scrape sees.
        result.DurationSeconds = SecondsSince(received);
        if (!reply->Send(ExpositionAnswer(result, probe)))
            return;
        metrics_.Probed(probe.SwitchLabel, result.Up, result.FailureKind, result.DurationSeconds);
        if (!result.Up)
            Log(LogLevel::Debug, "Probe failed",
                Field("target", probe.SwitchLabel) + " " + Field("kind", result.FailureKind) + " " +
                    Field("reason", result.Message));
    });
}

} // namespace qdl::exporter
