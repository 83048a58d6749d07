#pragma once

#include "ByteStream.h"

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

// What a switch may send at most. Its real replies are a few dozen bytes; the caps keep a broken
// or hostile peer from filling memory, and the body cap also bounds the reply list built from it.
struct ReplyLimits {
    std::size_t MaxLineLength = 16384;
    // Status lines and header lines of one reply, interim "100 Continue" heads included.
    std::size_t MaxHeadSize = 65536;
    std::size_t MaxHeaderLines = 256;
    std::size_t MaxBodySize = 16384;
};

// Reads a reply off a stream: lines end at LF (a CR before it is dropped), the body comes
// by Content-Length, chunked, or until the switch closes.
class ReplyReader {
public:
    ReplyReader(ByteStream& stream, const ReplyLimits& limits) : stream_(stream), limits_(limits) {}

    // The next reply head, passing over interim "100 Continue" replies. Fails with "Connection
    // Closed Gracefully." when the switch closes before the status line and first header line,
    // and with its own message when the heads outgrow the limits.
    ReplyHead ReadHead(Clock::time_point deadline);

    // The body that follows `head`; kept when `keep`, else read and dropped. A body that the
    // switch broke off ends where it stopped, as the window takes it; CutShort() then tells how.
    std::string ReadBody(const ReplyHead& head, bool keep, Clock::time_point deadline);

    // Empty when the last body arrived whole; else what was missing, such as "64 bytes were
    // announced, 10 arrived".
    const std::string& CutShort() const { return cutShort_; }

private:
    std::optional<std::string> ReadLine(Clock::time_point deadline);
    std::optional<std::string> ReadHeadLine(Clock::time_point deadline);
    bool Fill(Clock::time_point deadline);
    std::size_t ReadBytes(std::size_t count, std::string* body, Clock::time_point deadline);
    std::size_t ReadUntilClose(std::string* body, Clock::time_point deadline);
    void ReadChunked(std::string* body, Clock::time_point deadline);
    void Append(std::string* body, const char* bytes, std::size_t count);

    ByteStream& stream_;
    ReplyLimits limits_;
    std::string buffer_;
    std::size_t start_ = 0;
    bool closed_ = false;
    std::size_t lineBytes_ = 0; // of the last line read, with its line end
    std::size_t headSize_ = 0;
    std::size_t headerLines_ = 0;
    std::string cutShort_;
};

} // namespace qdl
