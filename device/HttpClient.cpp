#include "HttpClient.h"

#include "Base64.h"
#include "Connection.h"
#include "Conversions.h"
#include "HostAddress.h"
#include "SystemText.h"
#include "TextUtil.h"

#include <algorithm>
#include <stdexcept>

namespace qdl {
namespace {

void RequireNoControlCharacter(const std::string& text, const char* what) {
    if (HasControlCharacter(text))
        throw std::runtime_error(
            Format("The %s holds a control character (such as a line break); nothing was sent.", what));
}

void RequireValidPort(int port) {
    if (port < 1 || port > 65535)
        throw std::runtime_error(Format("Port %d is not a TCP port: it must lie between 1 and 65535.", port));
}

void RequireInteger(const std::string& text) {
    if (!TryStrToInt(text))
        throw DeviceFailure(
            DeviceFailureKind::Protocol, Format("'%s' は整数ではありません", text.c_str()), 0,
            Format("The switch sent a Content-Range header with '%s', which is no integer.", text.c_str()));
}

// A Content-Range such as "bytes 0-99/200" or "bytes */200": integers, or "*" for an unknown part.
void CheckContentRange(const std::string& value) {
    std::string range = Trim(value);
    if (range.compare(0, 5, "bytes") == 0)
        range = Trim(range.substr(5));
    const auto slash = range.find('/');
    const std::string span = range.substr(0, slash);
    const std::string total = slash == std::string::npos ? std::string() : range.substr(slash + 1);
    if (span != "*") {
        const auto dash = span.find('-');
        RequireInteger(span.substr(0, dash));
        RequireInteger(dash == std::string::npos ? std::string() : span.substr(dash + 1));
    }
    if (total != "*")
        RequireInteger(total);
}

// A numeric Expires counts seconds; it must stay within a day (-1 means already expired).
void CheckExpires(const std::string& value) {
    const auto seconds = TryStrToInt(Trim(value));
    if (seconds && (*seconds >= 86400 || *seconds < -1))
        throw DeviceFailure(DeviceFailureKind::Protocol, "時刻に変換できない値が渡されました", 0,
                            "The switch sent an Expires header that is no time.");
}

bool IsSuccess(const ReplyHead& head) {
    return head.StatusCode >= 200 && head.StatusCode <= 299 && !head.Header("Location");
}

// A failed reply is reported by its status line, as far as a message can show it (up to a NUL
// byte); one without any text to show would leave an empty box.
DeviceFailure StatusFailure(const ReplyHead& head) {
    std::string shown = head.StatusLine.substr(0, head.StatusLine.find('\0'));
    if (Trim(shown).empty())
        shown = "The switch answered with an empty status line.";
    // A first line without a status code is no HTTP reply at all: something else answered.
    if (head.StatusCode < 0)
        return DeviceFailure(
            DeviceFailureKind::Protocol, shown, 0,
            Format("The switch's reply is not HTTP: its first line is '%s'.", Printable(shown, 60).c_str()));
    const auto kind = head.StatusCode == 401 ? DeviceFailureKind::Auth : DeviceFailureKind::Http;
    return DeviceFailure(kind, shown, head.StatusCode);
}

} // namespace

std::string HttpClient::RequestText(const std::string& target) const {
    std::string request = "GET " + target + " HTTP/1.1\r\n";
    request += "Host: " + Host + "\r\n";
    request += "Accept: " + options_.Accept + "\r\n";
    request += "User-Agent: " + options_.UserAgent + "\r\n";
    if (BasicAuthentication && !options_.WithoutCredentials) {
        const std::string user = Trim(UserName);
        const std::string password = user.empty() ? std::string() : Trim(Password);
        // As the switch was configured from Windows: 8-bit text of the system's code page (on
        // Windows the ANSI code page; elsewhere UTF-8).
        request += "Authorization: Basic " + Base64Encode(platform::ToSystemCodePage(user + ":" + password)) +
                   "\r\n";
    }
    if (const std::string cookies = cookies_.CookieHeader(Host, "/"); !cookies.empty())
        request += "Cookie: " + cookies + "\r\n";
    request += "\r\n";
    return request;
}

void HttpClient::Trace(const std::string& line) const {
    if (options_.Trace)
        options_.Trace(line);
}

void HttpClient::TakeHead(const ReplyHead& head) {
    for (const auto& [name, value] : head.Headers) {
        if (EqualsIgnoringCase(name, "Set-Cookie") || EqualsIgnoringCase(name, "Set-Cookie2"))
            cookies_.Store(value, Host);
        else if (EqualsIgnoringCase(name, "Content-Range"))
            CheckContentRange(value);
        else if (EqualsIgnoringCase(name, "Expires"))
            CheckExpires(value);
    }
}

std::string HttpClient::Get(const std::string& target) {
    RequireValidPort(Port);
    RequireNoControlCharacter(target, "command");
    const std::string address = ResolveHostAddress(Host);
    auto connectTimeout = options_.ConnectTimeout;
    if (options_.Deadline)
        connectTimeout =
            std::max(std::chrono::milliseconds(1),
                     std::min(connectTimeout, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  *options_.Deadline - Clock::now())));
    Connection connection(address, Port, connectTimeout);
    return Exchange(connection, target);
}

std::string HttpClient::Exchange(ByteStream& stream, const std::string& target) {
    // One deadline for the whole reply, counted from the request: a peer that keeps talking
    // cannot stretch it.
    const auto deadline =
        std::min(Clock::now() + options_.ReadTimeout, options_.Deadline.value_or(Clock::time_point::max()));
    lastBodyCutShort_.clear();
    Trace("GET " + target + " HTTP/1.1");
    stream.Send(RequestText(target), deadline);
    ReplyReader reader(stream, options_.Limits);
    const ReplyHead head = reader.ReadHead(deadline);
    Trace(head.StatusLine);
    TakeHead(head);
    if (head.Truncated && IsSuccess(head))
        throw DeviceFailure(DeviceFailureKind::Protocol, "Undefined situation", 0,
                            "The switch closed the connection in the middle of its reply's headers.");
    if (head.Truncated)
        throw StatusFailure(head);
    if (IsSuccess(head)) {
        std::string body = reader.ReadBody(head, true, deadline);
        lastBodyCutShort_ = reader.CutShort();
        Trace(body);
        return body;
    }
    try {
        reader.ReadBody(head, false, std::min(deadline, Clock::now() + options_.ErrorBodyTimeout));
    } catch (const ReadTimeout&) {
        throw;
    } catch (const std::runtime_error&) {
        // The status line says more about what went wrong than a broken error page does.
    }
    throw StatusFailure(head);
}

} // namespace qdl
