#include "Connection.h"

#include "SocketError.h"

namespace qdl {
namespace {

platform::TcpConnection Connect(const std::string& address, int port,
                                std::chrono::milliseconds connectTimeout) {
    try {
        return platform::TcpConnection(address, port, Clock::now() + connectTimeout);
    } catch (const platform::SocketTimeout&) {
        throw DeviceFailure(DeviceFailureKind::Timeout, "Connect timed out.");
    } catch (const platform::SocketError& failure) {
        throw SocketFailure(failure.Code, true);
    }
}

// Runs one step of the exchange, its socket failures told as the window tells them.
template <typename Step> auto Exchanging(Step step) {
    try {
        return step();
    } catch (const platform::SocketTimeout&) {
        throw ReadTimeout();
    } catch (const platform::SocketError& failure) {
        throw SocketFailure(failure.Code, false);
    }
}

} // namespace

Connection::Connection(const std::string& address, int port, std::chrono::milliseconds connectTimeout)
    : socket_(Connect(address, port, connectTimeout)) {}

void Connection::Send(const std::string& bytes, Clock::time_point deadline) {
    Exchanging([&] { socket_.Send(bytes.data(), bytes.size(), deadline); });
}

std::size_t Connection::Receive(char* buffer, std::size_t size, Clock::time_point deadline) {
    return Exchanging([&] { return socket_.Receive(buffer, size, deadline); });
}

} // namespace qdl
