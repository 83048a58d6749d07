#pragma once

#include "HttpExchange.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace qdl::exporter {

// What one client may take of the server.
struct ServerLimits {
    // A new connection's whole request head (and its TLS handshake), or a kept-alive one's from
    // its first byte on: in all, not per read.
    std::chrono::milliseconds HeadTime{5000};
    // A kept-alive connection waiting for its next request.
    std::chrono::milliseconds IdleTime{20000};
    // An answer on its way to a client that does not read.
    std::chrono::milliseconds WriteTime{10000};
    std::size_t MostConnections = 1000; // more are closed at once
    std::size_t HeadBytes = 16 * 1024;  // request line and headers (431)
    std::size_t BodyBytes = 64 * 1024;  // also in chunks (413)
};

struct TlsFiles {
    std::string CertFile, KeyFile;
};

// The exporter's HTTP server, on Boost.Asio and Boost.Beast: one thread serves every connection
// from an event loop, so a connection that is idle, slow or hostile costs a timer and a socket,
// never a thread. Each request goes to the handler as soon as it has arrived whole; a connection
// reads its next request only once the answer is out, so pipelined requests are answered in
// order. HTTPS where TLS files are given (not on Windows).
class HttpServer {
public:
    HttpServer(RequestHandler& handler, ServerLimits limits, std::optional<TlsFiles> tls);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on the --web.listen-address (every address the host resolves to; for :PORT every
    // interface, IPv4 and IPv6) and returns the port. A UsageError when it cannot.
    int Bind(const std::string& listenAddress);
    void Serve(); // until Stop()
    // From any thread: stops serving at once, whatever the clients do.
    void Stop();
    std::size_t OpenConnections() const;

    struct Impl; // the event loop, its listeners and connections

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace qdl::exporter
