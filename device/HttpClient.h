#pragma once

#include "ByteStream.h"
#include "CookieJar.h"
#include "HttpReply.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace qdl {

// How the client talks: fixed when the client is made, changed only by tests.
struct HttpClientOptions {
    std::string Accept = "text/html, */*";
    std::string UserAgent = "Mozilla/3.0 (compatible; Indy Library)";
    std::chrono::milliseconds ConnectTimeout{1000};
    // The whole reply, from the request on: a switch that never answers, or never stops
    // talking, must not freeze the window.
    std::chrono::milliseconds ReadTimeout{5000};
    std::chrono::milliseconds ErrorBodyTimeout{2000};
    // Where a caller's own time ends (a scrape's, say): the connection and the whole reply end by
    // then too, each taking from it only what it uses.
    std::optional<std::chrono::steady_clock::time_point> Deadline;
    ReplyLimits Limits;
    // No Authorization header even where Basic authentication is on: for a switch that was given
    // no credentials, so that none meant for another switch can go there.
    bool WithoutCredentials = false;
    // Told the request line, the status line and the body of each exchange, for a verbose log.
    std::function<void(const std::string&)> Trace;
};

// The HTTP client of the window: one GET per call over a fresh TCP connection that is closed
// afterwards, Basic authentication, and a cookie store that lives as long as the client.
class HttpClient {
public:
    explicit HttpClient(HttpClientOptions options = {}) : options_(std::move(options)) {}

    std::string Host;
    int Port = 80;
    std::string UserName;
    std::string Password;
    bool BasicAuthentication = false;

    // Sends GET `target` to Host:Port and returns the reply body of a 2xx reply. Every other
    // outcome fails with its message: the socket errors, the status line of a non-2xx or
    // redirecting reply, "Read Timeout", and so on.
    std::string Get(const std::string& target);

    // The request and reply of Get() over a stream that is already open.
    std::string Exchange(ByteStream& stream, const std::string& target);

    // Empty when the last reply's body arrived whole; else what was missing. The window takes a
    // broken-off body as it came; scripts must not.
    const std::string& LastBodyCutShort() const { return lastBodyCutShort_; }

private:
    std::string RequestText(const std::string& target) const;
    void TakeHead(const ReplyHead& head);
    void Trace(const std::string& line) const;

    HttpClientOptions options_;
    CookieJar cookies_;
    std::string lastBodyCutShort_;
};

} // namespace qdl
