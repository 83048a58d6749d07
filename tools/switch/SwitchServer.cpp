#include "SwitchServer.h"

#include "Base64.h"
#include "TextUtil.h"
#include "WebPage.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <thread>

namespace qdl::standin {
namespace {

// The raw text after "?" of the request target: "+" separates the command's fields there and
// must not be decoded into a blank.
std::string RawQuery(const httplib::Request& request) {
    const auto question = request.target.find('?');
    return question == std::string::npos ? std::string() : request.target.substr(question + 1);
}

constexpr int ListenBacklog = 128;

int PortOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return -1;
}

std::string IsoTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// The length of the raw text at `at` that decodes to `secret` ("%34" for "4", "+" for a blank),
// or 0 when none does.
std::size_t EncodedLength(const std::string& text, std::size_t at, const std::string& secret) {
    std::size_t pos = at;
    for (const char wanted : secret) {
        if (pos >= text.size())
            return 0;
        char c = text[pos];
        std::size_t used = 1;
        if (c == '%' && pos + 2 < text.size() + 0 && HexDigitValue(text[pos + 1]) >= 0 &&
            HexDigitValue(text[pos + 2]) >= 0) {
            c = static_cast<char>(HexDigitValue(text[pos + 1]) * 16 + HexDigitValue(text[pos + 2]));
            used = 3;
        } else if (c == '+') {
            c = ' ';
        }
        if (c != wanted)
            return 0;
        pos += used;
    }
    return pos - at;
}

// The password masked wherever it stands, written plainly or percent-encoded.
std::string Masked(const std::string& text, const std::string& secret) {
    if (secret.empty())
        return text;
    std::string masked;
    for (std::size_t at = 0; at < text.size();) {
        if (const std::size_t length = EncodedLength(text, at, secret)) {
            masked += "***";
            at += length;
        } else {
            masked += text[at++];
        }
    }
    return masked;
}

// The connected socket a request came in on: its two ends are the request's. The HTTP library
// does not hand it to the handlers, and closing it is the one way to answer nothing at all.
int ConnectionOf(const httplib::Request& request) {
    for (int fd = 3; fd < 65536; ++fd) {
        sockaddr_storage peer{}, local{};
        socklen_t peerSize = sizeof peer, localSize = sizeof local;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) {
            if (errno == EBADF && fd > 1024)
                break;
            continue;
        }
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0)
            continue;
        if (PortOf(peer) == request.remote_port && PortOf(local) == request.local_port)
            return fd;
    }
    return -1;
}

} // namespace

SwitchServer::SwitchServer(SwitchState& state, const SwitchOptions& options, std::ostream& log)
    : state_(state), options_(options),
      expectedAuthorization_(Base64Encode(options.UserName + ":" + options.Password)), log_(log) {
    // Only SO_REUSEADDR: a second switch on the same port must fail rather than share the requests.
    server_.set_socket_options([this](socket_t socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        listener_ = socket;
    });
    // One request a connection, as the switch's clients send them: the requests count as connections.
    server_.set_keep_alive_max_count(1);
    server_.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        if (auto handled = Misbehave(++requests_, request, response))
            return *handled;
        if (Authorized(request))
            return httplib::Server::HandlerResponse::Unhandled;
        response.status = 401;
        response.set_header("WWW-Authenticate", "Basic realm=\"Quadrel 4816\"");
        response.set_content("<html>401 Unauthorized</html>", "text/html");
        return httplib::Server::HandlerResponse::Handled;
    });
    server_.Get("/Set.cmd", [this](const httplib::Request& request, httplib::Response& response) {
        response.set_content(state_.Command(RawQuery(request)), "text/html");
    });
    server_.Get("/", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(WebPage(state_), "text/html; charset=utf-8");
    });
    server_.Post(R"(/outlet/([1-4]))", [this](const httplib::Request& request, httplib::Response& response) {
        state_.ToggleOutlet(std::stoi(request.matches[1]));
        response.set_redirect("/", 303);
    });
    // Logged as the answer goes out, not after: whoever reads the log once the client has its
    // answer finds the request there.
    server_.set_post_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) { Log(request, response); });
    // A change the switch cannot keep (its state file cannot be written) fails, saying why.
    server_.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr failure) {
            std::string reason = "unknown failure";
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception& thrown) {
                reason = thrown.what();
            } catch (...) {
            }
            response.status = 500;
            response.set_content("<html>500 Internal Server Error: " + reason + "</html>", "text/html");
        });
}

std::optional<httplib::Server::HandlerResponse>
SwitchServer::Misbehave(std::uint64_t number, const httplib::Request& request, httplib::Response& response) {
    const Faults& fail = options_.Fail;
    if (fail.RefuseAfter && number > *fail.RefuseAfter) {
        // Came in before the listening socket closed: as good as refused.
        response.set_content_provider(1, "text/html",
                                      [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
        return httplib::Server::HandlerResponse::Handled;
    }
    // The listening socket closes before the last answer goes out, so that no client can connect
    // in between.
    if (fail.RefuseAfter && number == *fail.RefuseAfter)
        server_.stop();
    if (number <= fail.After)
        return std::nullopt;
    if (fail.Slow.count() > 0 && !WaitUnlessStopped(fail.Slow))
        return httplib::Server::HandlerResponse::Handled;
    if (fail.Hang) {
        WaitUnlessStopped(std::chrono::hours(24 * 365));
        return httplib::Server::HandlerResponse::Handled;
    }
    if (fail.Close) {
        // Not one byte of an answer: the connection closes as soon as the request is in.
        if (const int connection = ConnectionOf(request); connection >= 0)
            ::shutdown(connection, SHUT_RDWR);
        response.status = 444; // logged as nginx logs a connection closed without an answer
        return httplib::Server::HandlerResponse::Handled;
    }
    if (fail.RefuseLogin || fail.ServerError) {
        response.status = fail.RefuseLogin ? 401 : 500;
        response.set_content(fail.RefuseLogin ? "<html>401 Unauthorized</html>"
                                              : "<html>500 Internal Server Error</html>",
                             "text/html");
        return httplib::Server::HandlerResponse::Handled;
    }
    return std::nullopt;
}

bool SwitchServer::Authorized(const httplib::Request& request) const {
    const std::string value = Trim(request.get_header_value("Authorization"));
    const auto blank = value.find(' ');
    return blank != std::string::npos && EqualsIgnoringCase(value.substr(0, blank), "Basic") &&
           Trim(value.substr(blank + 1)) == expectedAuthorization_;
}

void SwitchServer::Log(const httplib::Request& request, const httplib::Response& response) {
    std::lock_guard lock(logMutex_);
    log_ << IsoTimeNow() << ' ' << request.remote_addr << ':' << request.remote_port << ' '
         << Printable(request.method) << ' ' << Printable(Masked(request.target, options_.Password)) << ' '
         << response.status << std::endl;
}

bool SwitchServer::WaitUnlessStopped(std::chrono::milliseconds time) {
    std::unique_lock lock(stopMutex_);
    return !stopped_.wait_for(lock, time, [this] { return stopping_; });
}

int SwitchServer::Bind() {
    errno = 0;
    const int port = options_.Port == 0
                         ? server_.bind_to_any_port(options_.Address)
                         : (server_.bind_to_port(options_.Address, options_.Port) ? options_.Port : -1);
    if (port <= 0)
        throw std::runtime_error(Format("cannot listen on %s:%d%s%s", options_.Address.c_str(), options_.Port,
                                        errno ? ": " : "", errno ? std::strerror(errno) : ""));
    // The HTTP library listens with a backlog of 5, which makes a few dozen parallel clients time
    // out; listening again on the socket raises it.
    ::listen(listener_, ListenBacklog);
    return port;
}

void SwitchServer::Serve() {
    // A client may go before its answer is out (and --fail close closes the connection itself):
    // writing to it must fail, not end the switch.
    std::signal(SIGPIPE, SIG_IGN);
    server_.listen_after_bind();
    served_ = true;
}

void SwitchServer::Stop() {
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopped_.notify_all();
    // The server only takes a stop once its accept loop runs.
    while (!served_ && !server_.is_running())
        std::this_thread::yield();
    server_.stop();
}

} // namespace qdl::standin
