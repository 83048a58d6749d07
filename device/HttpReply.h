#pragma once

#include "Connection.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qdl {

// The head of one reply: its status line as received and its header lines.
struct ReplyHead {
    std::string StatusLine;
    int StatusCode = -1;
    std::vector<std::pair<std::string, std::string>> Headers;
    // The switch closed the connection in the middle of the header lines.
    bool Truncated = false;

    // The value of the first header of that name (case-insensitive), if any.
    std::optional<std::string> Header(const std::string& name) const;
};

struct ReplyLimits {
    std::size_t MaxLineLength = 16384;
    std::size_t MaxBodySize = 1024 * 1024;
};

// Reads a reply off a connection: lines end at LF (a CR before it is dropped), the body comes
// by Content-Length, chunked, or until the switch closes.
class ReplyReader {
public:
    ReplyReader(Connection& connection, const ReplyLimits& limits)
        : connection_(connection), limits_(limits) {}

    // The next reply head, passing over interim "100 Continue" replies. Fails with "Connection
    // Closed Gracefully." when the switch closes before the status line and first header line.
    ReplyHead ReadHead(Clock::time_point deadline);

    // The body that follows `head`; kept when `keep`, else read and dropped.
    std::string ReadBody(const ReplyHead& head, bool keep, Clock::time_point deadline);

private:
    std::optional<std::string> ReadLine(Clock::time_point deadline);
    bool Fill(Clock::time_point deadline);
    std::size_t ReadBytes(std::size_t count, std::string* body, Clock::time_point deadline);
    std::size_t ReadUntilClose(std::string* body, Clock::time_point deadline);
    void ReadChunked(std::string* body, Clock::time_point deadline);
    void Append(std::string* body, const char* bytes, std::size_t count);

    Connection& connection_;
    ReplyLimits limits_;
    std::string buffer_;
    std::size_t start_ = 0;
    bool closed_ = false;
};

} // namespace qdl
