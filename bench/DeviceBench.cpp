// What one command costs next to the cheapest possible exchange of the same bytes, and how fast
// a refused connection is reported.
#include "QDLHttpU.h"
#include "ScriptedSwitch.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

using qdl::test::ScriptedSwitch;

const std::string Reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 37\r\n\r\n"
                          "<html>P60=1,P61=0,P62=0,P63=1</html>";

ScriptedSwitch& Responder() {
    static ScriptedSwitch* responder = [] {
        auto* device = new ScriptedSwitch;
        device->DefaultAnswer({Reply, ScriptedSwitch::Then::Close, true});
        return device;
    }();
    return *responder;
}

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

// Connect, send the request, read until the responder closes, close: the floor for one command.
std::size_t RawExchange(int port, const std::string& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    const sockaddr_in address = Loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("connect failed");
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char buffer[4096];
    std::size_t total = 0;
    for (ssize_t count; (count = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        total += static_cast<std::size_t>(count);
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
    return total;
}

void BM_GetPower(benchmark::State& state) {
    qdl::HttpClient http;
    qdl::ReplyList reply;
    const int port = Responder().Port();
    for (auto _ : state)
        benchmark::DoNotOptimize(qdl::GetPower(http, "127.0.0.1", port, "admin", "40617253", reply));
}
BENCHMARK(BM_GetPower)->UseRealTime();

void BM_RawSocketGet(benchmark::State& state) {
    const std::string request =
        qdl::test::ExpectedRequest("/Set.cmd?CMD=GetPower", "127.0.0.1", "YWRtaW46NDA2MTcyNTM=");
    const int port = Responder().Port();
    for (auto _ : state)
        benchmark::DoNotOptimize(RawExchange(port, request));
}
BENCHMARK(BM_RawSocketGet)->UseRealTime();

int ClosedPort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

void BM_RefusedConnect(benchmark::State& state) {
    qdl::HttpClient http;
    qdl::ReplyList reply;
    const int port = ClosedPort();
    for (auto _ : state) {
        try {
            qdl::GetPower(http, "127.0.0.1", port, "admin", "40617253", reply);
            state.SkipWithError("the connection was not refused");
        } catch (const std::runtime_error&) {
        }
    }
}
BENCHMARK(BM_RefusedConnect)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
