#pragma once

#include "SwitchState.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

namespace qdl::standin {

// What the switch gets wrong on purpose, so that scripts and monitoring can be tried against it.
struct Faults {
    bool RefuseLogin = false; // 401 whatever the credentials
    bool ServerError = false; // 500
    bool Hang = false;        // never answer
    bool Close = false;       // close the connection before any byte of the answer
    std::chrono::milliseconds Slow{0};
    // The first `After` requests are answered as they should be.
    std::uint64_t After = 0;
    // Stop listening after this many requests: later connections are refused.
    std::optional<std::uint64_t> RefuseAfter;
};

struct SwitchOptions {
    std::string Address = "127.0.0.1";
    int Port = 0; // 0: any free port
    std::string UserName = "admin";
    std::string Password = "40617253";
    Faults Fail;
};

// The switch's web server: the command script /Set.cmd, its own page at "/", Basic
// authentication on every request, one log line per request (time, client, target, status).
class SwitchServer {
public:
    SwitchServer(SwitchState& state, const SwitchOptions& options, std::ostream& log);

    // Binds the listening socket; the port it listens on. Fails when the address cannot be bound,
    // also when another program listens there.
    int Bind();
    // Answers requests until Stop(), or until it stops listening after RefuseAfter requests.
    void Serve();
    // Ends Serve(), also when called while Serve() is still starting; call it only once Serve()
    // has been or is being called.
    void Stop();

private:
    std::optional<httplib::Server::HandlerResponse>
    Misbehave(std::uint64_t number, const httplib::Request& request, httplib::Response& response);
    bool Authorized(const httplib::Request& request) const;
    void Log(const httplib::Request& request, const httplib::Response& response);
    // Waits for `time`, or until the server stops; false when it stopped.
    bool WaitUnlessStopped(std::chrono::milliseconds time);

    SwitchState& state_;
    SwitchOptions options_;
    std::string expectedAuthorization_;
    std::ostream& log_;
    std::mutex logMutex_;
    std::atomic<std::uint64_t> requests_{0};
    std::atomic<bool> served_{false};
    std::mutex stopMutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
    int listener_ = -1;
    httplib::Server server_;
};

} // namespace qdl::standin
