#include "HttpReply.h"

#include "TextUtil.h"

#include <stdexcept>

namespace qdl {
namespace {

constexpr std::size_t ReadSize = 16384;

int StatusCodeOf(const std::string& statusLine) {
    const auto first = statusLine.find(' ');
    if (first == std::string::npos)
        return -1;
    const auto end = statusLine.find(' ', first + 1);
    const std::string word = statusLine.substr(first + 1, end == std::string::npos ? end : end - first - 1);
    if (word.empty() || word.find_first_not_of("0123456789") != std::string::npos || word.size() > 9)
        return -1;
    return std::stoi(word);
}

// A decimal number with an optional sign, or nothing.
std::optional<long long> DecimalNumber(const std::string& text) {
    const std::string trimmed = Trim(text);
    const std::size_t digits = !trimmed.empty() && (trimmed[0] == '-' || trimmed[0] == '+') ? 1 : 0;
    if (trimmed.size() == digits || trimmed.size() > 18 ||
        trimmed.find_first_not_of("0123456789", digits) != std::string::npos)
        return std::nullopt;
    return std::stoll(trimmed);
}

void AddHeaderLine(ReplyHead& head, const std::string& line) {
    if ((line.front() == ' ' || line.front() == '\t') && !head.Headers.empty()) {
        head.Headers.back().second += " " + Trim(line);
        return;
    }
    const auto colon = line.find(':');
    head.Headers.emplace_back(Trim(line.substr(0, colon)),
                              colon == std::string::npos ? std::string() : Trim(line.substr(colon + 1)));
}

std::optional<std::size_t> HexNumber(const std::string& text) {
    if (text.empty() || text.size() > 15 ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return std::nullopt;
    return static_cast<std::size_t>(std::stoull(text, nullptr, 16));
}

[[noreturn]] void ThrowBodyTooLarge(std::size_t limit) {
    throw DeviceFailure(
        DeviceFailureKind::Protocol,
        Format("The reply is larger than %zu bytes; the switch's answer was not read.", limit));
}

} // namespace

std::optional<std::string> ReplyHead::Header(const std::string& name) const {
    for (const auto& [headerName, value] : Headers)
        if (EqualsIgnoringCase(headerName, name))
            return value;
    return std::nullopt;
}

bool ReplyReader::Fill(Clock::time_point deadline) {
    if (closed_)
        return false;
    if (start_ > 0) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    char chunk[ReadSize];
    const std::size_t count = stream_.Receive(chunk, sizeof chunk, deadline);
    if (count == 0) {
        closed_ = true;
        return false;
    }
    buffer_.append(chunk, count);
    return true;
}

std::optional<std::string> ReplyReader::ReadLine(Clock::time_point deadline) {
    std::size_t searched = start_;
    for (;;) {
        const auto lf = buffer_.find('\n', searched);
        if (lf != std::string::npos) {
            std::string line = buffer_.substr(start_, lf - start_);
            lineBytes_ = lf + 1 - start_;
            start_ = lf + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.size() > limits_.MaxLineLength)
                throw DeviceFailure(DeviceFailureKind::Protocol, "Max line length exceeded.");
            return line;
        }
        // A CR may still stand before the LF that ends the longest line allowed.
        if (buffer_.size() - start_ > limits_.MaxLineLength + 1)
            throw DeviceFailure(DeviceFailureKind::Protocol, "Max line length exceeded.");
        const std::size_t pending = buffer_.size() - start_;
        if (!Fill(deadline))
            return std::nullopt;
        searched = start_ + pending;
    }
}

std::optional<std::string> ReplyReader::ReadHeadLine(Clock::time_point deadline) {
    auto line = ReadLine(deadline);
    if (line) {
        headSize_ += lineBytes_;
        if (headSize_ > limits_.MaxHeadSize)
            throw DeviceFailure(
                DeviceFailureKind::Protocol,
                Format("The switch's reply headers are larger than %zu bytes.", limits_.MaxHeadSize));
    }
    return line;
}

ReplyHead ReplyReader::ReadHead(Clock::time_point deadline) {
    for (;;) {
        auto statusLine = ReadHeadLine(deadline);
        auto line = statusLine ? ReadHeadLine(deadline) : std::nullopt;
        if (!line)
            throw DeviceFailure(DeviceFailureKind::Protocol, "Connection Closed Gracefully.");
        ReplyHead head;
        head.StatusLine = *statusLine;
        head.StatusCode = StatusCodeOf(head.StatusLine);
        while (!line->empty()) {
            if (++headerLines_ > limits_.MaxHeaderLines)
                throw DeviceFailure(
                    DeviceFailureKind::Protocol,
                    Format("The switch's reply has more than %zu header lines.", limits_.MaxHeaderLines));
            AddHeaderLine(head, *line);
            line = ReadHeadLine(deadline);
            if (!line) {
                head.Truncated = true;
                return head;
            }
        }
        if (head.StatusCode != 100)
            return head;
    }
}

void ReplyReader::Append(std::string* body, const char* bytes, std::size_t count) {
    if (body == nullptr)
        return;
    if (body->size() + count > limits_.MaxBodySize)
        ThrowBodyTooLarge(limits_.MaxBodySize);
    body->append(bytes, count);
}

std::size_t ReplyReader::ReadBytes(std::size_t count, std::string* body, Clock::time_point deadline) {
    std::size_t read = 0;
    while (read < count) {
        if (start_ == buffer_.size() && !Fill(deadline))
            break;
        const std::size_t take = std::min(count - read, buffer_.size() - start_);
        Append(body, buffer_.data() + start_, take);
        start_ += take;
        read += take;
    }
    return read;
}

std::size_t ReplyReader::ReadUntilClose(std::string* body, Clock::time_point deadline) {
    std::size_t read = 0;
    do {
        read += ReadBytes(buffer_.size() - start_, body, deadline);
    } while (Fill(deadline));
    return read;
}

void ReplyReader::ReadChunked(std::string* body, Clock::time_point deadline) {
    for (;;) {
        const auto sizeLine = ReadLine(deadline);
        if (!sizeLine) {
            cutShort_ = "the chunked body ended without its last chunk";
            return;
        }
        const auto size = HexNumber(sizeLine->substr(0, sizeLine->find(' '))).value_or(0);
        if (size == 0) {
            ReadLine(deadline);
            return;
        }
        if (body != nullptr && body->size() + size > limits_.MaxBodySize)
            ThrowBodyTooLarge(limits_.MaxBodySize);
        if (const std::size_t read = ReadBytes(size, body, deadline); read < size) {
            cutShort_ = Format("a chunk of %zu bytes broke off after %zu", size, read);
            return;
        }
        ReadLine(deadline);
    }
}

std::string ReplyReader::ReadBody(const ReplyHead& head, bool keep, Clock::time_point deadline) {
    std::string body;
    std::string* sink = keep ? &body : nullptr;
    cutShort_.clear();
    if (head.StatusCode == 204)
        return body;
    const auto contentLengthHeader = head.Header("Content-Length");
    const auto contentLength = contentLengthHeader ? DecimalNumber(*contentLengthHeader) : std::nullopt;
    const auto transferEncoding = head.Header("Transfer-Encoding");
    if (contentLength && *contentLength > 0) {
        if (keep && static_cast<unsigned long long>(*contentLength) > limits_.MaxBodySize)
            ThrowBodyTooLarge(limits_.MaxBodySize);
        const auto announced = static_cast<std::size_t>(*contentLength);
        if (const std::size_t read = ReadBytes(announced, sink, deadline); read < announced)
            cutShort_ = Format("%zu bytes were announced, %zu arrived", announced, read);
    } else if (transferEncoding && transferEncoding->find("chunked") != std::string::npos) {
        ReadChunked(sink, deadline);
    } else if (!contentLength) {
        ReadUntilClose(sink, deadline);
    }
    return body;
}

} // namespace qdl
