#include "ExporterService.h"

#include "Base64.h"
#include "Log.h"
#include "Metrics.h"
#include "TextUtil.h"

#include <cctype>
#include <cstdlib>
#include <ctime>

namespace qdl::exporter {
namespace {

const char* const Exposition = "text/plain; version=0.0.4; charset=utf-8";
// What a scrape's own timeout leaves for the answer to travel, as the blackbox exporter keeps.
constexpr std::chrono::milliseconds ScrapeMargin{500};

std::string UrlEncoded(const std::string& text) {
    std::string encoded;
    for (unsigned char c : text)
        encoded += std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~'
                       ? std::string(1, static_cast<char>(c))
                       : Format("%%%02X", c);
    return encoded;
}

HttpAnswer Refusal(int status, const std::string& reason) {
    HttpAnswer answer;
    answer.Status = status;
    answer.Body = reason + "\n";
    return answer;
}

// The scrape's own timeout less a margin, where Prometheus sends it and it is the shorter.
std::chrono::milliseconds ProbeTime(const HttpRequest& request, std::chrono::milliseconds fallback) {
    const std::string header = request.Header("X-Prometheus-Scrape-Timeout-Seconds");
    char* end = nullptr;
    const double seconds = std::strtod(header.c_str(), &end);
    if (header.empty() || end == header.c_str() || *end != '\0' || !(seconds > 0) || seconds > 86400)
        return fallback;
    const auto scrape = std::chrono::milliseconds(static_cast<long long>(seconds * 1000)) - ScrapeMargin;
    return std::max(std::chrono::milliseconds(100), std::min(fallback, scrape));
}

// "user" and "password" of a Basic Authorization header.
std::pair<std::string, std::string> Credentials(const HttpRequest& request) {
    const std::string header = request.Header("Authorization");
    if (header.rfind("Basic ", 0) != 0)
        return {};
    const std::string pair = Base64Decode(Trim(header.substr(6))).value_or("");
    const auto colon = pair.find(':');
    return colon == std::string::npos ? std::pair<std::string, std::string>{}
                                      : std::pair{pair.substr(0, colon), pair.substr(colon + 1)};
}

std::string Param(const HttpRequest& request, const char* name) {
    const auto found = request.Params.find(name);
    return found == request.Params.end() ? std::string() : found->second;
}

} // namespace

ExporterService::ExporterService(ServerOptions options)
    : options_(std::move(options)),
      config_(std::make_shared<const ExporterConfig>(ExporterConfig::Read(options_.ConfigFile))) {
    metrics_.Reloaded(true);
    if (config_->Switches().empty())
        Log(LogLevel::Warn, "The configuration file names no switch yet: every probe is refused",
            Field("file", options_.ConfigFile));
}

std::shared_ptr<const ExporterConfig> ExporterService::Config() const {
    std::lock_guard<std::mutex> lock(configMutex_);
    return config_;
}

std::optional<std::string> ExporterService::Reload() {
    try {
        auto fresh = std::make_shared<const ExporterConfig>(ExporterConfig::Read(options_.ConfigFile));
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

HttpAnswer ExporterService::Handle(const HttpRequest& request) {
    const auto [user, password] = Credentials(request);
    if (!options_.Web.Allows(user, password)) {
        HttpAnswer refused = Refusal(401, "Unauthorized");
        refused.Headers.emplace_back("WWW-Authenticate", "Basic");
        Log(LogLevel::Warn, "Refused a request without valid credentials", Field("path", request.Path));
        return refused;
    }
    const bool get = request.Method == "GET" || request.Method == "HEAD";
    if (get && request.Path == "/probe")
        return Probe(request);
    if (get && request.Path == "/metrics") {
        HttpAnswer answer;
        answer.ContentType = Exposition;
        answer.Body = metrics_.Exposition(options_.Version);
        return answer;
    }
    if (get && request.Path == "/")
        return LandingPage();
    if ((request.Method == "POST" || request.Method == "PUT") && request.Path == "/-/reload") {
        if (const auto failure = Reload())
            return Refusal(500, "The configuration was not reloaded: " + *failure);
        return Refusal(200, "Reloaded.");
    }
    return Refusal(404, "Not found: the paths are /, /probe?target=NAME, /metrics and POST /-/reload.");
}

HttpAnswer ExporterService::LandingPage() const {
    HttpAnswer answer;
    answer.ContentType = "text/html; charset=utf-8";
    answer.Body =
        "<!DOCTYPE html>\n<html><head><title>Quadrel 4816 exporter</title></head><body>\n"
        "<h1>Quadrel 4816 exporter</h1>\n<p><a href=\"metrics\">The exporter's own metrics</a></p>\n"
        "<h2>Switches</h2>\n<ul>\n";
    for (const SwitchEntry& entry : Config()->Switches())
        answer.Body += "<li><a href=\"probe?target=" + MarkupEscaped(UrlEncoded(entry.Name)) + "\">" +
                       MarkupEscaped(entry.Name) + "</a></li>\n";
    answer.Body += "</ul>\n</body></html>\n";
    return answer;
}

HttpAnswer ExporterService::Probe(const HttpRequest& request) {
    const std::string name = Param(request, "target");
    const auto config = Config();
    const SwitchEntry* entry = config->Find(name);
    if (!entry) {
        Log(LogLevel::Debug, "Refused a probe of an unknown target", Field("target", name));
        return Refusal(400,
                       name.empty()
                           ? "Give the switch as target=NAME, a section of the configuration file."
                           : Format("Unknown target '%s': the targets are the sections of the configuration "
                                    "file.",
                                    Printable(name, 64).c_str()));
    }
    control::ProbeRequest probe;
    const std::string schedule = Param(request, "schedule");
    probe.Schedule = entry->Schedule || schedule == "1" || schedule == "true";
    probe.OutletNames = entry->OutletNames;
    probe.Deadline = std::chrono::steady_clock::now() + ProbeTime(request, options_.ProbeTimeout);
    const control::ProbeResult result = probes_.Probe(*entry, probe);
    metrics_.Probed(result.Up, result.DurationSeconds);
    if (!result.Up)
        Log(LogLevel::Debug, "Probe failed",
            Field("target", entry->Name) + " " + Field("kind", result.FailureKind) + " " +
                Field("reason", result.Message));
    HttpAnswer answer;
    answer.ContentType = Exposition;
    answer.Body = control::ProbeExposition(result, probe, std::time(nullptr));
    return answer;
}

} // namespace qdl::exporter
