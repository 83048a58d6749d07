#include "HttpServer.h"

#include "Failures.h"
#include "ListenAddress.h"
#include "RequestTarget.h"
#include "ServiceLog.h"
#include "TextUtil.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#ifndef _WIN32
#include <boost/asio/ssl.hpp>
#include <boost/beast/ssl.hpp>
#endif

#include <array>
#include <atomic>
#include <type_traits>
#include <vector>

namespace qdl::exporter {
namespace {

using control::Field;
using control::Log;
using control::LogLevel;

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

// What a connection refused for a malformed request still reads and drops, so that the client
// sees the refusal rather than a reset: at most this long.
constexpr std::chrono::seconds LingerTime{1};

HttpAnswer Refusal(int status, const std::string& reason) {
    HttpAnswer answer;
    answer.Status = status;
    answer.Body = reason + "\n";
    return answer;
}

// A request the parser refused, as the status and reason its client is told.
HttpAnswer RefusalFor(const beast::error_code& error) {
    if (error == http::error::header_limit || error == http::error::buffer_overflow)
        return Refusal(431, "The request's line and headers are too large.");
    if (error == http::error::body_limit)
        return Refusal(413, "The request's body is too large.");
    if (error == http::error::bad_content_length || error == http::error::bad_transfer_encoding)
        return Refusal(400, "The request's length cannot be read: a bad Content-Length, or Content-Length "
                            "with Transfer-Encoding.");
    return Refusal(400, "The request cannot be read as HTTP/1.1: " + error.message() + ".");
}

// Parse failures are answered; failures of the connection itself (closed, reset, timed out)
// end it without a word.
bool IsParseFailure(const beast::error_code& error) {
    return error.category() == http::make_error_code(http::error::end_of_stream).category() &&
           error != http::error::end_of_stream && error != http::error::partial_message;
}

} // namespace

// One connection's side of the server, whatever its stream.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    virtual ~Connection() = default;
    // On the server's thread: the answer to request `serial`, unless it has one.
    virtual void Answer(std::uint64_t serial, HttpAnswer answer) = 0;
    virtual void AnswerBy(std::uint64_t serial, Clock::time_point deadline,
                          std::function<void()> fallback) = 0;
};

namespace {

// A request's reply: answers from any thread are carried to the server's thread; the first wins.
// It holds its connection until then.
class ConnectionReply : public Reply, public std::enable_shared_from_this<ConnectionReply> {
public:
    ConnectionReply(std::shared_ptr<Connection> connection, std::uint64_t serial,
                    asio::any_io_executor executor)
        : connection_(std::move(connection)), serial_(serial), executor_(std::move(executor)) {}

    bool Send(HttpAnswer answer) override {
        if (answered_.exchange(true))
            return false;
        asio::post(executor_,
                   [connection = connection_, serial = serial_, answer = std::move(answer)]() mutable {
                       connection->Answer(serial, std::move(answer));
                   });
        return true;
    }

    void SendBy(Clock::time_point deadline, std::function<HttpAnswer()> fallback) override {
        asio::post(executor_, [self = shared_from_this(), deadline, fallback = std::move(fallback)] {
            self->connection_->AnswerBy(self->serial_, deadline, [self, fallback] {
                if (!self->answered_.exchange(true))
                    self->connection_->Answer(self->serial_, fallback());
            });
        });
    }

private:
    std::shared_ptr<Connection> connection_;
    std::uint64_t serial_;
    asio::any_io_executor executor_;
    std::atomic<bool> answered_{false};
};

} // namespace

struct HttpServer::Impl {
    Impl(RequestHandler& handler, ServerLimits limits) : handler(handler), limits(limits) {}

    void Listen(const tcp::endpoint& endpoint);
    void Accept(tcp::acceptor& acceptor);
    void Admit(tcp::socket socket);

    RequestHandler& handler;
    const ServerLimits limits;
    // Before the loop: the connections it still holds when it goes count themselves out here,
    // and a TLS stream needs its context.
    std::atomic<std::size_t> open{0};
#ifndef _WIN32
    std::optional<asio::ssl::context> tls;
#endif
    asio::io_context io{1};
    std::vector<std::unique_ptr<tcp::acceptor>> acceptors;
};

namespace {

#ifndef _WIN32
using TlsStream = beast::ssl_stream<beast::tcp_stream>;
#endif

template <typename Stream> class Session : public Connection {
public:
    Session(HttpServer::Impl& server, Stream stream)
        : server_(server), stream_(std::move(stream)),
          buffer_(server.limits.HeadBytes + server.limits.BodyBytes + 4096),
          answerTimer_(stream_.get_executor()) {
        ++server_.open;
    }
    ~Session() override { --server_.open; }

    void Start() {
        Lowest().expires_after(server_.limits.HeadTime);
#ifndef _WIN32
        if constexpr (std::is_same_v<Stream, TlsStream>) {
            stream_.async_handshake(asio::ssl::stream_base::server,
                                    [self = Self()](const beast::error_code& error) {
                                        if (error)
                                            return self->Close();
                                        self->ReadRequest();
                                    });
            return;
        }
#endif
        ReadRequest();
    }

    void Answer(std::uint64_t serial, HttpAnswer answer) override {
        if (serial != serial_ || answering_)
            return;
        answering_ = true;
        answerTimer_.cancel();
        response_ = {};
        response_.version(version_);
        response_.result(static_cast<unsigned>(answer.Status));
        response_.set(http::field::content_type, answer.ContentType);
        for (const auto& [name, value] : answer.Headers)
            response_.set(name, value);
        response_.keep_alive(keepAlive_);
        if (head_) {
            response_.content_length(answer.Body.size());
        } else {
            response_.body() = std::move(answer.Body);
            response_.prepare_payload();
        }
        Lowest().expires_after(server_.limits.WriteTime);
        http::async_write(stream_, response_, [self = Self()](const beast::error_code& error, std::size_t) {
            self->response_ = {};
            if (error)
                return self->Close();
            if (self->lingering_)
                return self->Linger();
            if (!self->keepAlive_)
                return self->Close();
            self->WaitForNextRequest();
        });
    }

    void AnswerBy(std::uint64_t serial, Clock::time_point deadline, std::function<void()> fallback) override {
        if (serial != serial_ || answering_)
            return;
        answerTimer_.expires_at(deadline);
        answerTimer_.async_wait([fallback = std::move(fallback)](const beast::error_code& error) {
            if (!error)
                fallback();
        });
    }

private:
    std::shared_ptr<Session> Self() {
        return std::static_pointer_cast<Session>(shared_from_this());
    }
    beast::tcp_stream& Lowest() {
        return beast::get_lowest_layer(stream_);
    }

    void WaitForNextRequest() {
        if (buffer_.size() > 0) { // pipelined: the next request is already here
            Lowest().expires_after(server_.limits.HeadTime);
            return ReadRequest();
        }
        buffer_.shrink_to_fit(); // an idle connection holds no buffer
        Lowest().expires_after(server_.limits.IdleTime);
        stream_.async_read_some(buffer_.prepare(1024),
                                [self = Self()](const beast::error_code& error, std::size_t size) {
                                    if (error)
                                        return self->Close();
                                    self->buffer_.commit(size);
                                    self->Lowest().expires_after(self->server_.limits.HeadTime);
                                    self->ReadRequest();
                                });
    }

    void ReadRequest() {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(server_.limits.HeadBytes));
        parser_->body_limit(server_.limits.BodyBytes);
        http::async_read(
            stream_, buffer_, *parser_,
            [self = Self()](const beast::error_code& error, std::size_t) { self->OnRequest(error); });
    }

    void OnRequest(const beast::error_code& error) {
        if (error && !IsParseFailure(error))
            return Close();
        ++serial_;
        answering_ = false;
        if (error)
            return Refuse(RefusalFor(error));
        Lowest().expires_never();
        const auto& message = parser_->get();
        version_ = message.version();
        keepAlive_ = message.keep_alive();
        head_ = message.method() == http::verb::head;
        if (version_ != 10 && version_ != 11)
            return Refuse(Refusal(505, "Only HTTP/1.0 and HTTP/1.1 are served."));
        if (message.count(http::field::transfer_encoding) != 0 && !message.chunked())
            return Refuse(Refusal(400, "The only Transfer-Encoding taken is chunked."));
        HttpRequest request;
        try {
            RequestTarget target = ParseRequestTarget(std::string(message.target()));
            request.Path = std::move(target.Path);
            request.Params = std::move(target.Params);
        } catch (const BadTarget& failure) {
            return Refuse(Refusal(400, failure.what()));
        }
        request.Method = std::string(message.method_string());
        for (const auto& field : message)
            request.Headers.emplace(LowerCase(std::string(field.name_string())), std::string(field.value()));
        parser_.reset();
        auto reply = std::make_shared<ConnectionReply>(shared_from_this(), serial_, stream_.get_executor());
        try {
            server_.handler.Handle(std::move(request), reply);
        } catch (const std::exception& failure) {
            reply->Send(Refusal(500, failure.what()));
        }
    }

    // The refusal, then the connection ends: what else the client sends cannot be read as requests.
    void Refuse(HttpAnswer answer) {
        parser_.reset();
        keepAlive_ = false;
        head_ = false;
        lingering_ = true;
        if (version_ != 10)
            version_ = 11;
        Answer(serial_, std::move(answer));
    }

    // Half-closes and reads what the client still sends for a moment, so that it reads the
    // refusal before the connection is gone.
    void Linger() {
        beast::error_code ignored;
        Lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
        Lowest().expires_after(LingerTime);
        Drain();
    }

    void Drain() {
        Lowest().async_read_some(asio::buffer(scratch_),
                                 [self = Self()](const beast::error_code& error, std::size_t) {
                                     if (error)
                                         return self->Close();
                                     self->Drain();
                                 });
    }

    void Close() {
        answerTimer_.cancel();
        beast::error_code ignored;
        Lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        Lowest().close();
    }

    HttpServer::Impl& server_;
    Stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    http::response<http::string_body> response_;
    asio::steady_timer answerTimer_;
    std::uint64_t serial_ = 0;
    bool answering_ = false, keepAlive_ = false, head_ = false, lingering_ = false;
    unsigned version_ = 11;
    std::array<char, 512> scratch_{};
};

} // namespace

void HttpServer::Impl::Listen(const tcp::endpoint& endpoint) {
    auto acceptor = std::make_unique<tcp::acceptor>(io);
    acceptor->open(endpoint.protocol());
#ifndef _WIN32
    // Windows would let another program take the port as well.
    acceptor->set_option(asio::socket_base::reuse_address(true));
#endif
    if (endpoint.address().is_v6())
        acceptor->set_option(asio::ip::v6_only(true));
    acceptor->bind(endpoint);
    acceptor->listen(asio::socket_base::max_listen_connections);
    acceptors.push_back(std::move(acceptor));
}

void HttpServer::Impl::Accept(tcp::acceptor& acceptor) {
    acceptor.async_accept([this, &acceptor](const beast::error_code& error, tcp::socket socket) {
        if (error == asio::error::operation_aborted)
            return;
        if (!error)
            return Admit(std::move(socket)), Accept(acceptor);
        // Out of file descriptors, say: try again in a moment instead of spinning.
        Log(LogLevel::Warn, "Cannot accept a connection", Field("reason", error.message()));
        auto pause = std::make_shared<asio::steady_timer>(io, std::chrono::milliseconds(100));
        pause->async_wait([this, &acceptor, pause](const beast::error_code&) { Accept(acceptor); });
    });
}

void HttpServer::Impl::Admit(tcp::socket socket) {
    beast::error_code ignored;
    if (open >= limits.MostConnections) {
        socket.close(ignored);
        return;
    }
    // The answer goes out in one write; without this a kept-alive client would wait for the
    // delayed acknowledgement of the one before.
    socket.set_option(tcp::no_delay(true), ignored);
#ifndef _WIN32
    if (tls) {
        std::make_shared<Session<TlsStream>>(*this, TlsStream(beast::tcp_stream(std::move(socket)), *tls))
            ->Start();
        return;
    }
#endif
    std::make_shared<Session<beast::tcp_stream>>(*this, beast::tcp_stream(std::move(socket)))->Start();
}

HttpServer::HttpServer(RequestHandler& handler, ServerLimits limits, std::optional<TlsFiles> tls)
    : impl_(std::make_unique<Impl>(handler, limits)) {
    if (!tls)
        return;
#ifdef _WIN32
    throw control::ConfigError("TLS is not available on Windows.");
#else
    try {
        impl_->tls.emplace(asio::ssl::context::tls_server);
        impl_->tls->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                                asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                                asio::ssl::context::no_tlsv1_1);
        impl_->tls->use_certificate_chain_file(tls->CertFile);
        impl_->tls->use_private_key_file(tls->KeyFile, asio::ssl::context::pem);
    } catch (const std::exception& failure) {
        throw control::ConfigError(Format("The TLS certificate %s or key %s cannot be used: %s.",
                                          tls->CertFile.c_str(), tls->KeyFile.c_str(), failure.what()));
    }
#endif
}

HttpServer::~HttpServer() = default;

int HttpServer::Bind(const std::string& listenAddress) {
    const ListenAddress address = ListenAddress::Parse(listenAddress);
    std::vector<tcp::endpoint> endpoints;
    if (address.Host.empty()) {
        endpoints = {tcp::endpoint(tcp::v4(), static_cast<unsigned short>(address.Port)),
                     tcp::endpoint(tcp::v6(), static_cast<unsigned short>(address.Port))};
    } else {
        beast::error_code error;
        tcp::resolver resolver(impl_->io);
        for (const auto& found :
             resolver.resolve(address.Host, std::to_string(address.Port),
                              tcp::resolver::passive | tcp::resolver::numeric_service, error))
            endpoints.push_back(found.endpoint());
        if (error || endpoints.empty())
            throw control::UsageError(Format("Cannot listen on %s: the host name cannot be resolved (%s).",
                                             Printable(listenAddress, 80).c_str(), error.message().c_str()));
    }
    int port = address.Port;
    for (tcp::endpoint endpoint : endpoints) {
        // A free port, once taken on the first address, is the port of the others too.
        endpoint.port(static_cast<unsigned short>(port));
        try {
            impl_->Listen(endpoint);
            port = impl_->acceptors.back()->local_endpoint().port();
        } catch (const boost::system::system_error& failure) {
            // An interface that is not there (no IPv6 on this machine) is no reason not to serve
            // the others; one that is, and whose port is in use, is.
            const bool missing = failure.code() == asio::error::address_family_not_supported ||
                                 failure.code() == boost::system::errc::address_not_available;
            if (!missing)
                throw control::UsageError(
                    Format("Cannot listen on %s (%s): %s.", Printable(listenAddress, 80).c_str(),
                           endpoint.address().to_string().c_str(), failure.code().message().c_str()));
            Log(LogLevel::Debug, "Not listening on an address this machine lacks",
                Field("address", endpoint.address().to_string()));
        }
    }
    if (impl_->acceptors.empty())
        throw control::UsageError(Format("Cannot listen on %s: none of its addresses is this machine's.",
                                         Printable(listenAddress, 80).c_str()));
    for (const auto& acceptor : impl_->acceptors)
        impl_->Accept(*acceptor);
    return port;
}

void HttpServer::Serve() {
    impl_->io.run();
}

void HttpServer::Stop() {
    impl_->io.stop();
}

std::size_t HttpServer::OpenConnections() const {
    return impl_->open;
}

} // namespace qdl::exporter
