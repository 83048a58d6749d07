#include "SwitchServer.h"

#include "Base64.h"
#include "TextUtil.h"
#include "WebPage.h"

#include <thread>

namespace qdl::standin {
namespace {

// The raw text after "?" of the request target: "+" separates the command's fields there and
// must not be decoded into a blank.
std::string RawQuery(const httplib::Request& request) {
    const auto question = request.target.find('?');
    return question == std::string::npos ? std::string() : request.target.substr(question + 1);
}

} // namespace

SwitchServer::SwitchServer(SwitchState& state, const SwitchOptions& options, std::ostream& log)
    : state_(state), options_(options),
      expectedAuthorization_(Base64Encode(options.UserName + ":" + options.Password)), log_(log) {
    server_.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
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
    server_.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        Log(request, response);
    });
}

bool SwitchServer::Authorized(const httplib::Request& request) const {
    const std::string value = Trim(request.get_header_value("Authorization"));
    const auto blank = value.find(' ');
    return blank != std::string::npos && EqualsIgnoringCase(value.substr(0, blank), "Basic") &&
           Trim(value.substr(blank + 1)) == expectedAuthorization_;
}

void SwitchServer::Log(const httplib::Request& request, const httplib::Response& response) {
    std::lock_guard lock(logMutex_);
    log_ << request.method << ' ' << request.target << ' ' << response.status << std::endl;
}

int SwitchServer::Bind() {
    const int port = options_.Port == 0
                         ? server_.bind_to_any_port(options_.Address)
                         : (server_.bind_to_port(options_.Address, options_.Port) ? options_.Port : -1);
    if (port <= 0)
        throw std::runtime_error(Format("cannot listen on %s:%d", options_.Address.c_str(), options_.Port));
    return port;
}

void SwitchServer::Serve() {
    server_.listen_after_bind();
    served_ = true;
}

void SwitchServer::Stop() {
    // The server only takes a stop once its accept loop runs.
    while (!served_ && !server_.is_running())
        std::this_thread::yield();
    server_.stop();
}

} // namespace qdl::standin
