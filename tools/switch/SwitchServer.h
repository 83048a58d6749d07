#pragma once

#include "SwitchState.h"

#include <httplib.h>

#include <atomic>
#include <mutex>
#include <ostream>
#include <string>

namespace qdl::standin {

struct SwitchOptions {
    std::string Address = "127.0.0.1";
    int Port = 0; // 0: any free port
    std::string UserName = "admin";
    std::string Password = "40617253";
};

// The switch's web server: the command script /Set.cmd, its own page at "/", Basic
// authentication on every request, one log line per request (method, target, status).
class SwitchServer {
public:
    SwitchServer(SwitchState& state, const SwitchOptions& options, std::ostream& log);

    // Binds the listening socket; the port it listens on. Fails when the address cannot be bound.
    int Bind();
    // Answers requests until Stop().
    void Serve();
    // Ends Serve(), also when called while Serve() is still starting; call it only once Serve()
    // has been or is being called.
    void Stop();

private:
    bool Authorized(const httplib::Request& request) const;
    void Log(const httplib::Request& request, const httplib::Response& response);

    SwitchState& state_;
    SwitchOptions options_;
    std::string expectedAuthorization_;
    std::ostream& log_;
    std::mutex logMutex_;
    std::atomic<bool> served_{false};
    httplib::Server server_;
};

} // namespace qdl::standin
