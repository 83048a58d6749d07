// What the commands cost next to the cheapest possible exchange of the same bytes, and how fast
// a refused connection is reported. Run with random interleaving and repetitions (see
// scripts/bench.sh) so that load on the machine hits both sides alike; the ratios of the
// medians are printed at the end.
#include "QDLHttpU.h"
#include "ScriptedSwitch.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <stdexcept>
#include <vector>

namespace {

using qdl::test::ScriptedSwitch;

const std::string Reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 37\r\n\r\n"
                          "<html>P60=1,P61=0,P62=0,P63=1</html>";
const std::string Authorization = "YWRtaW46NDA2MTcyNTM=";
const char* const Slots[] = {"1A", "1B", "2A", "2B", "3A", "3B", "4A", "4B"};

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

std::string RequestFor(const std::string& command) {
    return qdl::test::ExpectedRequest("/Set.cmd?CMD=" + command, "127.0.0.1", Authorization);
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
    const std::string request = RequestFor("GetPower");
    const int port = Responder().Port();
    for (auto _ : state)
        benchmark::DoNotOptimize(RawExchange(port, request));
}
BENCHMARK(BM_RawSocketGet)->UseRealTime();

// What opening the Schedule page sends: the outlets, then the eight entries.
void BM_SchedulePage(benchmark::State& state) {
    qdl::HttpClient http;
    qdl::ReplyList reply;
    const int port = Responder().Port();
    for (auto _ : state) {
        benchmark::DoNotOptimize(qdl::GetPower(http, "127.0.0.1", port, "admin", "40617253", reply));
        for (const char* slot : Slots)
            benchmark::DoNotOptimize(
                qdl::GetSchedule(http, "127.0.0.1", port, "admin", "40617253", slot, reply));
    }
}
BENCHMARK(BM_SchedulePage)->UseRealTime();

void BM_RawSchedulePage(benchmark::State& state) {
    std::vector<std::string> requests{RequestFor("GetPower")};
    for (const char* slot : Slots)
        requests.push_back(RequestFor(std::string("GetSchedule+Power=") + slot));
    const int port = Responder().Port();
    for (auto _ : state)
        for (const std::string& request : requests)
            benchmark::DoNotOptimize(RawExchange(port, request));
}
BENCHMARK(BM_RawSchedulePage)->UseRealTime();

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

// The console report, plus the ratios of the medians against their goals.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.aggregate_name == "median")
                medianNanoseconds_[run.run_name.function_name] =
                    run.GetAdjustedRealTime() * benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                    benchmark::GetTimeUnitMultiplier(run.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        Ratio("BM_GetPower", "BM_RawSocketGet", 1.2);
        Ratio("BM_SchedulePage", "BM_RawSchedulePage", 1.2);
        if (const auto refused = medianNanoseconds_.find("BM_RefusedConnect");
            refused != medianNanoseconds_.end())
            std::printf("refused connect: %.1f us (goal < 1000 us)\n", refused->second / 1000.0);
    }

private:
    void Ratio(const std::string& ours, const std::string& floor, double goal) const {
        const auto a = medianNanoseconds_.find(ours);
        const auto b = medianNanoseconds_.find(floor);
        if (a == medianNanoseconds_.end() || b == medianNanoseconds_.end())
            return;
        std::printf("%s / %s: %.2fx (goal <= %.1fx)\n", ours.c_str(), floor.c_str(), a->second / b->second,
                    goal);
    }

    std::map<std::string, double> medianNanoseconds_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
