#include "HttpServer.h"

#include "Failures.h"
#include "ListenAddress.h"
#include "ProcessStats.h"
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

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <atomic>
#include <cstring>
#include <filesystem>
#include <list>
#include <map>
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
// Descriptors never taken by connections: for the exchanges with switches, files and the
// process's own metrics.
constexpr std::size_t DescriptorsKept = 64;
// Connections beyond the cap that are told to come back (503) rather than closed unanswered.
constexpr std::size_t MostRefusing = 64;
// A pause of the acceptor when the system has no descriptor or buffer for a new connection, or
// when this many accepts in a row failed for any other reason.
constexpr std::chrono::milliseconds AcceptPause{100};
constexpr std::size_t MostClientAcceptFailures = 1000;
// Go's answer to plain HTTP on a TLS port, which Prometheus shows as the scrape's error.
const char* const PlainHttpOnTls =
    "HTTP/1.0 400 Bad Request\r\nContent-Type: text/plain; charset=utf-8\r\n"
    "Connection: close\r\n\r\nClient sent an HTTP request to an HTTPS server.\n";
const char* const Continue = "HTTP/1.1 100 Continue\r\n\r\n";

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
    explicit Connection(std::string peer) : Peer(std::move(peer)) {}
    virtual ~Connection() = default;
    // On the server's thread: the answer to request `serial`, unless it has one.
    virtual void Answer(std::uint64_t serial, HttpAnswer answer) = 0;
    virtual void AnswerBy(std::uint64_t serial, Clock::time_point deadline,
                          std::function<void()> fallback) = 0;
    // Ends the connection now, whatever it was doing.
    virtual void Close() = 0;

    // The server's book of its connections, on its thread.
    const std::string Peer; // the client's address
    bool Counted = false, Waiting = false;
    std::list<Connection*>::iterator Place; // among its address's waiting connections
};

namespace {

// A request's reply: answers from any thread are carried to the server's thread; the first wins.
// It holds its connection until then.
class ConnectionReply : public Reply, public std::enable_shared_from_this<ConnectionReply> {
public:
    ConnectionReply(std::shared_ptr<Connection> connection, std::uint64_t serial,
                    asio::any_io_executor executor)
        : connection_(std::move(connection)), serial_(serial), executor_(std::move(executor)) {}

    bool Answered() const override { return answered_; }

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

#ifndef _WIN32
using TlsContext = std::shared_ptr<asio::ssl::context>;

TlsContext LoadTls(const TlsFiles& files) {
    try {
        auto context = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_server);
        context->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                             asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                             asio::ssl::context::no_tlsv1_1);
        context->use_certificate_chain_file(files.CertFile);
        context->use_private_key_file(files.KeyFile, asio::ssl::context::pem);
        return context;
    } catch (const std::exception& failure) {
        throw control::ConfigError(Format("The TLS certificate %s or key %s cannot be used: %s.",
                                          files.CertFile.c_str(), files.KeyFile.c_str(), failure.what()));
    }
}

// What tells a renewed certificate or key: each file's time and size.
std::string FilesStamp(const TlsFiles& files) {
    std::string stamp;
    for (const std::string& path : {files.CertFile, files.KeyFile}) {
        std::error_code error;
        const auto time = std::filesystem::last_write_time(path, error);
        const auto size = std::filesystem::file_size(path, error);
        stamp += std::to_string(time.time_since_epoch().count()) + "/" + std::to_string(size) + ";";
    }
    return stamp;
}
#endif

// The connections each client address holds, and those of them waiting for a request, the
// longest waiting first.
struct PeerConnections {
    std::size_t Open = 0;
    std::list<Connection*> Waiting;
};

// An accept that failed for want of descriptors or memory: the server's own trouble, which
// pauses the acceptor; anything else is one client's connection gone before it was taken.
bool IsResourceShortage(const beast::error_code& error) {
    return error == asio::error::no_descriptors || error == asio::error::no_buffer_space ||
           error == asio::error::no_memory || error == boost::system::errc::too_many_files_open_in_system;
}

// Connections the server may hold: the cap, and never so many that a probe, a file or the
// process's own metrics find no descriptor left.
std::size_t ConnectionsWithin(std::size_t cap) {
    const std::size_t files = platform::MostOpenFiles();
    return files == 0 ? cap
                      : std::min(cap, files > 4 * DescriptorsKept ? files - DescriptorsKept : files / 4 * 3);
}

} // namespace

struct HttpServer::Impl {
    Impl(RequestHandler& handler, ServerLimits limits)
        : handler(handler), limits(limits), most(ConnectionsWithin(limits.MostConnections)) {}
    // The connections the loop still holds leave as it goes, and post nothing more to it.
    ~Impl() { io.stop(); }

    void Listen(const tcp::endpoint& endpoint);
    void Accept(tcp::acceptor& acceptor);
    void Accepted(tcp::acceptor& acceptor, const beast::error_code& error, tcp::socket socket);
    void Admit(tcp::socket socket);
    template <typename Stream> void Open(Stream stream, std::string peer, bool refuse);
#ifndef _WIN32
    TlsContext CurrentTls();
#endif

    // The book of connections, on the server's thread.
    void Enter(Connection& connection);
    void StartsWaiting(Connection& connection);
    void StartsRequest(Connection& connection);
    void Leave(Connection& connection);
    void GiveBackMemory();
    void ReserveSocketStates();
    // The connection that gives way to a newcomer at the cap: the longest waiting one of the
    // address that holds the most; none when every connection has a request in progress.
    Connection* GivesWay();

    RequestHandler& handler;
    const ServerLimits limits;
    const std::size_t most;
    // Before the loop: the connections it still holds when it goes count themselves out here,
    // and a TLS stream needs its context.
    std::atomic<std::size_t> open{0};
    std::size_t refusing = 0, peak = 0;
    bool flooded = false; // memory was given back while connections were still open
    std::map<std::string, PeerConnections> peers;
#ifndef _WIN32
    std::optional<TlsFiles> tlsFiles;
    TlsContext tls;
    std::string tlsStamp, tlsStampRefused;
#endif
    std::size_t acceptFailures = 0, clientAcceptFailures = 0;
    asio::io_context io{1};
    std::vector<std::unique_ptr<tcp::acceptor>> acceptors;
};

namespace {

#ifndef _WIN32
using TlsStream = beast::ssl_stream<beast::tcp_stream>;
#endif

template <typename Stream> class Session : public Connection {
public:
    Session(HttpServer::Impl& server, Stream stream, std::string peer, bool refusing)
        : Connection(std::move(peer)), server_(server), stream_(std::move(stream)),
          buffer_(server.limits.HeadBytes + server.limits.BodyBytes + 4096),
          answerTimer_(stream_.get_executor()), refusing_(refusing) {}
    ~Session() override {
        if (refusing_)
            --server_.refusing;
        server_.Leave(*this);
    }

    void Start() {
        if (!refusing_)
            server_.Enter(*this);
        Lowest().expires_after(server_.limits.HeadTime);
#ifndef _WIN32
        if constexpr (std::is_same_v<Stream, TlsStream>)
            return ReadTlsHello();
#endif
        Begin();
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

    void Close() override {
        server_.Leave(*this);
        answerTimer_.cancel();
        beast::error_code ignored;
        Lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        Lowest().close();
    }

private:
    std::shared_ptr<Session> Self() {
        return std::static_pointer_cast<Session>(shared_from_this());
    }
    beast::tcp_stream& Lowest() {
        return beast::get_lowest_layer(stream_);
    }

    // A connection past the cap is told to come back; any other reads its first request.
    void Begin() {
        if (!refusing_)
            return ReadRequest();
        HttpAnswer answer = Refusal(503, "The exporter serves as many connections as it can; try again.");
        answer.Headers.emplace_back("Retry-After", "1");
        Refuse(std::move(answer));
    }

#ifndef _WIN32
    // The client's first bytes: a TLS handshake, or plain HTTP that is told what went wrong.
    void ReadTlsHello() {
        Lowest().async_read_some(
            buffer_.prepare(1024), [self = Self()](const beast::error_code& error, std::size_t size) {
                if (error)
                    return self->Close();
                self->buffer_.commit(size);
                const auto first = static_cast<const unsigned char*>(self->buffer_.data().data())[0];
                if (first != 0x16) // a TLS record carrying a handshake
                    return self->AnswerPlainHttp();
                self->stream_.async_handshake(asio::ssl::stream_base::server, self->buffer_.data(),
                                              [self](const beast::error_code& failed, std::size_t used) {
                                                  if (failed)
                                                      return self->Close();
                                                  self->buffer_.consume(used);
                                                  self->Begin();
                                              });
            });
    }

    void AnswerPlainHttp() {
        buffer_.consume(buffer_.size());
        server_.StartsRequest(*this);
        asio::async_write(Lowest(), asio::buffer(PlainHttpOnTls, std::strlen(PlainHttpOnTls)),
                          [self = Self()](const beast::error_code& error, std::size_t) {
                              if (error)
                                  return self->Close();
                              self->Linger();
                          });
    }
#endif

    void WaitForNextRequest() {
        server_.StartsWaiting(*this);
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
        http::async_read_header(
            stream_, buffer_, *parser_,
            [self = Self()](const beast::error_code& error, std::size_t) { self->OnHead(error); });
    }

    // The head is here: a client that waits for leave to send its body is given it, as
    // curl and Go's clients expect, before the body is read.
    void OnHead(const beast::error_code& error) {
        if (error || parser_->is_done())
            return OnRequest(error);
        const auto& head = parser_->get();
        const bool expects =
            beast::iequals(head[http::field::expect], "100-continue") && head.version() == 11;
        if (!expects)
            return ReadBody();
        asio::async_write(stream_, asio::buffer(Continue, std::strlen(Continue)),
                          [self = Self()](const beast::error_code& failed, std::size_t) {
                              if (failed)
                                  return self->Close();
                              self->ReadBody();
                          });
    }

    void ReadBody() {
        http::async_read(
            stream_, buffer_, *parser_,
            [self = Self()](const beast::error_code& error, std::size_t) { self->OnRequest(error); });
    }

    void OnRequest(const beast::error_code& error) {
        if (error && !IsParseFailure(error))
            return Close();
        server_.StartsRequest(*this);
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
        if (version_ == 11 && message.count(http::field::host) != 1)
            return Refuse(
                Refusal(400, "An HTTP/1.1 request names its host once: Host is missing or given twice."));
        HttpRequest request;
        try {
            RequestTarget target = ParseRequestTarget(std::string(message.target()));
            request.Path = std::move(target.Path);
            request.Params = std::move(target.Params);
        } catch (const BadTarget& failure) {
            return Refuse(Refusal(400, failure.what()));
        }
        request.Method = std::string(message.method_string());
        request.Peer = Peer;
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
        // Answered: from now on it only waits, and gives way to a newcomer at the cap.
        server_.StartsWaiting(*this);
        beast::error_code ignored;
        Lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
        Lowest().expires_after(LingerTime);
        Drain();
    }

    void Drain() {
        buffer_.consume(buffer_.size());
        Lowest().async_read_some(buffer_.prepare(512),
                                 [self = Self()](const beast::error_code& error, std::size_t) {
                                     if (error)
                                         return self->Close();
                                     self->Drain();
                                 });
    }

    HttpServer::Impl& server_;
    Stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    http::response<http::string_body> response_;
    asio::steady_timer answerTimer_;
    std::uint64_t serial_ = 0;
    const bool refusing_;
    bool answering_ = false, keepAlive_ = false, head_ = false, lingering_ = false;
    unsigned version_ = 11;
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
        Accepted(acceptor, error, std::move(socket));
    });
}

void HttpServer::Impl::Accepted(tcp::acceptor& acceptor, const beast::error_code& error, tcp::socket socket) {
    if (error == asio::error::operation_aborted)
        return;
    if (!error) {
        if (acceptFailures > 0)
            Log(LogLevel::Info, "Accepting connections again",
                Field("failed_accepts", std::to_string(acceptFailures)));
        acceptFailures = 0;
        clientAcceptFailures = 0;
        Admit(std::move(socket));
        return Accept(acceptor);
    }
    // A client that reset its connection before it was taken is its own affair (Windows reports
    // each one); only the server's own shortage waits, and is said once for the whole burst. So
    // does a failure that comes back every time, rather than spinning.
    ++clientAcceptFailures;
    if (!IsResourceShortage(error) && clientAcceptFailures % MostClientAcceptFailures != 0)
        return Accept(acceptor);
    if (acceptFailures++ == 0)
        Log(LogLevel::Warn, "Cannot accept connections for now; trying again every 100 ms",
            Field("reason", error.message()));
    auto pause = std::make_shared<asio::steady_timer>(io, AcceptPause);
    pause->async_wait([this, &acceptor, pause](const beast::error_code&) { Accept(acceptor); });
}

void HttpServer::Impl::Enter(Connection& connection) {
    connection.Counted = true;
    ++open;
    peak = std::max<std::size_t>(peak, open);
    ++peers[connection.Peer].Open;
    StartsWaiting(connection);
}

void HttpServer::Impl::StartsWaiting(Connection& connection) {
    if (!connection.Counted)
        return;
    auto& waiting = peers[connection.Peer].Waiting;
    if (connection.Waiting)
        waiting.erase(connection.Place);
    connection.Place = waiting.insert(waiting.end(), &connection);
    connection.Waiting = true;
}

void HttpServer::Impl::StartsRequest(Connection& connection) {
    if (!connection.Waiting)
        return;
    peers[connection.Peer].Waiting.erase(connection.Place);
    connection.Waiting = false;
}

void HttpServer::Impl::Leave(Connection& connection) {
    if (!connection.Counted)
        return;
    StartsRequest(connection);
    connection.Counted = false;
    --open;
    const auto peer = peers.find(connection.Peer);
    if (--peer->second.Open == 0)
        peers.erase(peer);
    GiveBackMemory();
}

// After a flood the freed connections go back to the system, not only to the heap: as their
// count falls to a quarter, and once more when the last is gone. Posted, so that it runs once the
// connection that left is freed too.
void HttpServer::Impl::GiveBackMemory() {
#ifdef __GLIBC__
    const bool fallen = peak >= 64 && open * 4 <= peak;
    if ((!fallen && !(flooded && open == 0)) || io.stopped())
        return;
    flooded = open != 0;
    peak = open;
    asio::post(io, [] { ::malloc_trim(0); });
#endif
}

Connection* HttpServer::Impl::GivesWay() {
    const PeerConnections* heaviest = nullptr;
    for (const auto& [address, connections] : peers)
        if (!connections.Waiting.empty() && (!heaviest || connections.Open > heaviest->Open))
            heaviest = &connections;
    return heaviest ? heaviest->Waiting.front() : nullptr;
}

// Asio's reactor (epoll, not Windows' completion ports) keeps the state it holds for each socket
// in a pool that it never frees. Made here, as many
// as the server holds connections, in one run of memory, they never sit between connections'
// buffers, which the end of a flood then gives back to the system whole.
void HttpServer::Impl::ReserveSocketStates() {
    std::vector<tcp::socket> sockets;
    sockets.reserve(most);
    for (std::size_t i = 0; i < most; ++i) {
        beast::error_code failed;
        tcp::socket socket(io);
        socket.open(tcp::v4(), failed);
        if (failed)
            break;
        sockets.push_back(std::move(socket));
    }
}

#ifndef _WIN32
// The certificate and key as the files hold them now: read again when they changed, the old
// pair kept (and the reason said once) when the new one cannot be used.
TlsContext HttpServer::Impl::CurrentTls() {
    const std::string stamp = FilesStamp(*tlsFiles);
    if (stamp == tlsStamp || stamp == tlsStampRefused)
        return tls;
    try {
        tls = LoadTls(*tlsFiles);
        tlsStamp = stamp;
        Log(LogLevel::Info, "TLS certificate and key read again", Field("cert_file", tlsFiles->CertFile));
    } catch (const std::exception& failure) {
        tlsStampRefused = stamp;
        Log(LogLevel::Error, "The changed TLS certificate or key cannot be used; the old pair stays",
            Field("reason", failure.what()));
    }
    return tls;
}
#endif

template <typename Stream> void HttpServer::Impl::Open(Stream stream, std::string peer, bool refuse) {
    if (refuse)
        ++refusing;
    std::make_shared<Session<Stream>>(*this, std::move(stream), std::move(peer), refuse)->Start();
}

void HttpServer::Impl::Admit(tcp::socket socket) {
    beast::error_code ignored;
    const std::string peer = socket.remote_endpoint(ignored).address().to_string();
    bool refuse = false;
    if (open >= most) {
        // A limit that protects the clients must not lock them out: the newcomer takes the place
        // of a connection that only waits, from the address that holds the most.
        if (Connection* givesWay = GivesWay())
            givesWay->Close();
        else if (refusing < MostRefusing)
            refuse = true;
        else {
            socket.close(ignored);
            return;
        }
    }
    // The answer goes out in one write; without this a kept-alive client would wait for the
    // delayed acknowledgement of the one before.
    socket.set_option(tcp::no_delay(true), ignored);
#ifndef _WIN32
    if (tlsFiles) {
        TlsContext context = CurrentTls();
        return Open(TlsStream(beast::tcp_stream(std::move(socket)), *context), peer, refuse);
    }
#endif
    Open(beast::tcp_stream(std::move(socket)), peer, refuse);
}

HttpServer::HttpServer(RequestHandler& handler, ServerLimits limits, std::optional<TlsFiles> tls)
    : impl_(std::make_unique<Impl>(handler, limits)) {
    if (!tls)
        return;
#ifdef _WIN32
    throw control::ConfigError("TLS is not available on Windows.");
#else
    impl_->tlsFiles = *tls;
    impl_->tlsStamp = FilesStamp(*tls);
    impl_->tls = LoadTls(*tls);
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
#ifndef _WIN32
    impl_->ReserveSocketStates();
#endif
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
