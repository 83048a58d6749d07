#pragma once

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

#include <curl/curl.h>

namespace qdl {

using Clock = std::chrono::steady_clock;

// Nothing arrived from the switch in time.
struct ReadTimeout : std::runtime_error {
    ReadTimeout() : std::runtime_error("Read Timeout") {}
};

// One TCP connection to the switch, opened by libcurl within the connect time limit and then
// used as a plain socket: the exchange on it is ours, byte for byte. Closing shuts the sending
// side down first, so the switch sees an orderly close.
class Connection {
public:
    // Connects to a resolved IPv4 address; fails with the socket error messages.
    Connection(const std::string& address, int port, std::chrono::milliseconds connectTimeout);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void Send(const std::string& bytes, Clock::time_point deadline);

    // Up to `size` bytes; 0 when the switch has closed its side. Fails with "Read Timeout" when
    // nothing arrives before the deadline.
    std::size_t Receive(char* buffer, std::size_t size, Clock::time_point deadline);

private:
    struct CurlEasyCleanup {
        void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
    };

    void WaitFor(short events, Clock::time_point deadline);

    std::unique_ptr<CURL, CurlEasyCleanup> curl_;
    curl_socket_t socket_ = CURL_SOCKET_BAD;
};

} // namespace qdl
