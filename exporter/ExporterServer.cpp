#include "ExporterServer.h"

#include "Base64.h"
#include "BoundedPool.h"
#include "Conversions.h"
#include "Failures.h"
#include "Log.h"
#include "Metrics.h"
#include "TextUtil.h"

#include <cctype>
#include <cstdlib>
#include <ctime>

namespace qdl::exporter {
namespace {

const char* const Exposition = "text/plain; version=0.0.4; charset=utf-8";
constexpr std::size_t ProbeThreads = 8;
constexpr std::size_t QueuedConnections = 32;
// What a scrape's own timeout leaves for the answer to travel, as the blackbox exporter keeps.
constexpr std::chrono::milliseconds ScrapeMargin{500};

std::string Html(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string UrlEncoded(const std::string& text) {
    std::string encoded;
    for (unsigned char c : text)
        encoded += std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~'
                       ? std::string(1, static_cast<char>(c))
                       : Format("%%%02X", c);
    return encoded;
}

void Refuse(httplib::Response& response, int status, const std::string& reason) {
    response.status = status;
    response.set_content(reason + "\n", "text/plain; charset=utf-8");
}

// The scrape's own timeout less a margin, where Prometheus sends it and it is the shorter.
std::chrono::milliseconds ProbeTime(const httplib::Request& request, std::chrono::milliseconds fallback) {
    const std::string header = request.get_header_value("X-Prometheus-Scrape-Timeout-Seconds");
    char* end = nullptr;
    const double seconds = std::strtod(header.c_str(), &end);
    if (header.empty() || end == header.c_str() || *end != '\0' || !(seconds > 0) || seconds > 86400)
        return fallback;
    const auto scrape = std::chrono::milliseconds(static_cast<long long>(seconds * 1000)) - ScrapeMargin;
    return std::max(std::chrono::milliseconds(100), std::min(fallback, scrape));
}

// "user:password" of a Basic Authorization header.
std::pair<std::string, std::string> Credentials(const httplib::Request& request) {
    const std::string header = request.get_header_value("Authorization");
    if (header.rfind("Basic ", 0) != 0)
        return {};
    const std::string pair = Base64Decode(Trim(header.substr(6))).value_or("");
    const auto colon = pair.find(':');
    return colon == std::string::npos ? std::pair<std::string, std::string>{}
                                      : std::pair{pair.substr(0, colon), pair.substr(colon + 1)};
}

std::unique_ptr<httplib::Server> MakeServer(const WebConfig& web) {
    if (!web.CertFile)
        return std::make_unique<httplib::Server>();
    auto server = std::make_unique<httplib::SSLServer>(web.CertFile->c_str(), web.KeyFile->c_str());
    if (!server->is_valid())
        throw control::ConfigError(Format("The TLS certificate %s or key %s cannot be used.",
                                          web.CertFile->c_str(), web.KeyFile->c_str()));
    return server;
}

} // namespace

ExporterServer::ExporterServer(ServerOptions options)
    : options_(std::move(options)), server_(MakeServer(options_.Web)),
      config_(std::make_shared<const ExporterConfig>(ExporterConfig::Read(options_.ConfigFile))) {
    metrics_.Reloaded(true);
    if (config_->Switches().empty())
        Log(LogLevel::Warn, "The configuration file names no switch yet: every probe is refused",
            Field("file", options_.ConfigFile));
    server_->new_task_queue = [] { return new BoundedPool(ProbeThreads, QueuedConnections); };
    server_->set_payload_max_length(64 * 1024);
    Route();
}

ExporterServer::~ExporterServer() {
    Stop();
}

std::shared_ptr<const ExporterConfig> ExporterServer::Config() const {
    std::lock_guard<std::mutex> lock(configMutex_);
    return config_;
}

std::optional<std::string> ExporterServer::Reload() {
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

void ExporterServer::Route() {
    server_->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        const auto [user, password] = Credentials(request);
        if (options_.Web.Allows(user, password))
            return httplib::Server::HandlerResponse::Unhandled;
        response.set_header("WWW-Authenticate", "Basic");
        Refuse(response, 401, "Unauthorized");
        Log(LogLevel::Warn, "Refused a request without valid credentials", Field("path", request.path));
        return httplib::Server::HandlerResponse::Handled;
    });
    // A request line too long for the server is a bad request like any other.
    server_->set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& response) {
            if (response.status == 414)
                Refuse(response, 400, "The request is too long.");
            else if (response.body.empty())
                Refuse(response, response.status,
                       response.status == 404
                           ? "Not found: the paths are /, /probe?target=NAME, /metrics and /-/reload."
                           : Format("HTTP status %d.", response.status));
            return httplib::Server::HandlerResponse::Handled;
        }));
    server_->Get("/probe", [this](const httplib::Request& request, httplib::Response& response) {
        Probe(request, response);
    });
    server_->Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(metrics_.Exposition(options_.Version), Exposition);
    });
    server_->Get("/", [this](const httplib::Request&, httplib::Response& response) {
        std::string page =
            "<!DOCTYPE html>\n<html><head><title>Quadrel 4816 exporter</title></head><body>\n"
            "<h1>Quadrel 4816 exporter</h1>\n<p><a href=\"metrics\">The exporter's own metrics</a></p>\n"
            "<h2>Switches</h2>\n<ul>\n";
        for (const SwitchEntry& entry : Config()->Switches())
            page += "<li><a href=\"probe?target=" + Html(UrlEncoded(entry.Name)) + "\">" + Html(entry.Name) +
                    "</a></li>\n";
        response.set_content(page + "</ul>\n</body></html>\n", "text/html; charset=utf-8");
    });
    server_->Post("/-/reload", [this](const httplib::Request&, httplib::Response& response) {
        if (const auto failure = Reload())
            Refuse(response, 500, "The configuration was not reloaded: " + *failure);
        else
            response.set_content("Reloaded.\n", "text/plain; charset=utf-8");
    });
}

void ExporterServer::Probe(const httplib::Request& request, httplib::Response& response) {
    const std::string name = request.get_param_value("target");
    const auto config = Config();
    const SwitchEntry* entry = config->Find(name);
    if (!entry) {
        Refuse(response, 400,
               name.empty()
                   ? "Give the switch as target=NAME, a section of the configuration file."
                   : Format("Unknown target '%s': the targets are the sections of the configuration file.",
                            Printable(name, 64).c_str()));
        Log(LogLevel::Debug, "Refused a probe of an unknown target", Field("target", name));
        return;
    }
    control::ProbeRequest probe;
    probe.Schedule = entry->Schedule || request.get_param_value("schedule") == "1" ||
                     request.get_param_value("schedule") == "true";
    probe.OutletNames = entry->OutletNames;
    probe.Deadline = std::chrono::steady_clock::now() + ProbeTime(request, options_.ProbeTimeout);
    const control::ProbeResult result = probes_.Probe(*entry, probe);
    metrics_.Probed(result.Up, result.DurationSeconds);
    if (!result.Up)
        Log(LogLevel::Debug, "Probe failed",
            Field("target", entry->Name) + " " + Field("kind", result.FailureKind) + " " +
                Field("reason", result.Message));
    response.set_content(control::ProbeExposition(result, probe, std::time(nullptr)), Exposition);
}

int ExporterServer::Bind(const std::string& listenAddress) {
    const auto colon = listenAddress.rfind(':');
    if (colon == std::string::npos)
        throw control::UsageError(Format("--web.listen-address '%s' is no HOST:PORT or :PORT.",
                                         Printable(listenAddress, 80).c_str()));
    std::string host = listenAddress.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty())
        host = "0.0.0.0";
    const std::string portText = listenAddress.substr(colon + 1);
    const auto port = TryStrToInt(portText);
    if (!port || *port < 0 || *port > 65535 || portText.find_first_not_of("0123456789") != std::string::npos)
        throw control::UsageError(Format("--web.listen-address '%s': '%s' is no TCP port.",
                                         Printable(listenAddress, 80).c_str(),
                                         Printable(portText, 20).c_str()));
    const int bound =
        *port == 0 ? server_->bind_to_any_port(host) : (server_->bind_to_port(host, *port) ? *port : -1);
    if (bound <= 0)
        throw control::UsageError(
            Format("Cannot listen on %s: the address is not this machine's, or the port is "
                   "in use.",
                   Printable(listenAddress, 80).c_str()));
    return bound;
}

void ExporterServer::Serve() {
    server_->listen_after_bind();
}

void ExporterServer::Stop() {
    if (server_)
        server_->stop();
}

} // namespace qdl::exporter
