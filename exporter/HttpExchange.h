#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qdl::exporter {

using Clock = std::chrono::steady_clock;

// A request as the exporter reads it, whatever server received it.
struct HttpRequest {
    std::string Method;
    std::string Path;                                // decoded
    std::multimap<std::string, std::string> Params;  // the query's, decoded, in their order
    std::multimap<std::string, std::string> Headers; // by lower-case name, in their order
    Clock::time_point Received = Clock::now();       // when its head had arrived whole
    std::string Peer;                                // the client's address, without its port

    // The first header of that name (any case); empty when absent.
    std::string Header(const std::string& name) const;
    // The first value of the query parameter; empty when absent.
    std::string Param(const std::string& name) const;
};

struct HttpAnswer {
    int Status = 200;
    std::string ContentType = "text/plain; charset=utf-8";
    std::string Body;
    std::vector<std::pair<std::string, std::string>> Headers;
};

// Where a request's answer goes. The first answer wins and the others are dropped, so that a
// probe's result and its deadline may race; any thread may answer.
class Reply {
public:
    virtual ~Reply() = default;
    // True when this was the answer sent.
    virtual bool Send(HttpAnswer answer) = 0;
    // Unless answered before `deadline`, the fallback's answer is sent then (it is only made
    // when it is sent). A later call replaces an earlier one.
    virtual void SendBy(Clock::time_point deadline, std::function<HttpAnswer()> fallback) = 0;
    // True once an answer was sent.
    virtual bool Answered() const = 0;
};

class RequestHandler {
public:
    virtual ~RequestHandler() = default;
    // Answers through the reply, now or later; never throws.
    virtual void Handle(HttpRequest request, std::shared_ptr<Reply> reply) = 0;
};

} // namespace qdl::exporter
