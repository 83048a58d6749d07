#include "ExporterServer.h"

#include "BoundedPool.h"
#include "Failures.h"
#include "ListenAddress.h"
#include "TextUtil.h"

#include <httplib.h>

namespace qdl::exporter {
namespace {

constexpr std::size_t Threads = 8;
constexpr std::size_t QueuedConnections = 32;

// cpp-httplib's queue of connections, served by the bounded pool.
class PoolQueue : public httplib::TaskQueue {
public:
    PoolQueue() : pool_(Threads, QueuedConnections) {}
    void enqueue(std::function<void()> job) override { pool_.Enqueue(std::move(job)); }
    void shutdown() override { pool_.Shutdown(); }

private:
    BoundedPool pool_;
};

std::unique_ptr<httplib::Server> MakeServer(const WebConfig& web) {
    if (!web.CertFile)
        return std::make_unique<httplib::Server>();
    auto server = std::make_unique<httplib::SSLServer>(web.CertFile->c_str(), web.KeyFile->c_str());
    if (!server->is_valid())
        throw control::ConfigError(Format("The TLS certificate %s or key %s cannot be used.",
                                          web.CertFile->c_str(), web.KeyFile->c_str()));
    return server;
}

void Write(const HttpAnswer& answer, httplib::Response& response) {
    response.status = answer.Status;
    for (const auto& [name, value] : answer.Headers)
        response.set_header(name.c_str(), value);
    response.set_content(answer.Body, answer.ContentType.c_str());
}

} // namespace

ExporterServer::ExporterServer(ServerOptions options) : service_(options), server_(MakeServer(options.Web)) {
    server_->new_task_queue = [] { return new PoolQueue(); };
    server_->set_payload_max_length(64 * 1024);
    const auto serve = [this](const httplib::Request& request, httplib::Response& response) {
        HttpRequest asked;
        asked.Method = request.method;
        asked.Path = request.path;
        for (const auto& [name, value] : request.params)
            asked.Params.emplace(name, value);
        asked.Header = [&request](const char* name) { return request.get_header_value(name); };
        Write(service_.Handle(asked), response);
    };
    server_->Get(".*", serve);
    server_->Post(".*", serve);
    server_->Put(".*", serve);
    // What cpp-httplib refuses itself: a request line too long for it is a bad request like any
    // other.
    server_->set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& response) {
            if (response.status == 414 || response.body.empty()) {
                const int status = response.status == 414 ? 400 : response.status;
                response.status = status;
                response.set_content(status == 400 ? "The request is too long or cannot be read.\n"
                                                   : Format("HTTP status %d.\n", status),
                                     "text/plain; charset=utf-8");
            }
            return httplib::Server::HandlerResponse::Handled;
        }));
}

ExporterServer::~ExporterServer() {
    Stop();
}

int ExporterServer::Bind(const std::string& listenAddress) {
    const ListenAddress address = ListenAddress::Parse(listenAddress);
    const int bound = address.Port == 0
                          ? server_->bind_to_any_port(address.Host)
                          : (server_->bind_to_port(address.Host, address.Port) ? address.Port : -1);
    if (bound <= 0)
        throw control::UsageError(
            Format("Cannot listen on %s: the address is not this machine's, or the port is in use.",
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
