// qdl-hostile-clients: what an attacker or a careless client on the same network might do to the
// exporter, run against a running one (the Linux exporter, or the Windows one under wine), while
// a normal client measures how long its answers take. Prints one line per check and a closing
// count; exits 1 when a check failed.
// Usage: qdl-hostile-clients --port PORT --target NAME [--pid PID [--memory] [--stop]] [--resets] [--siege]
//   --pid     the exporter's process
//   --memory  its memory is measured before and after each flood (not for a sanitizer's build,
//             whose allocator keeps what was freed)
//   --stop    last, sends the exporter SIGINT while clients drip, and checks it ends within 1 s
//   --resets  200 clients reset their connections mid-request, then a probe within 1 s
//   --siege   1 100 clients from 127.0.0.2-9 take every place while scrapes come from 127.0.0.1
//   --kept-alive N  only this: N kept-alive clients, then a probe and /metrics
//   --siege-for S   only this: 1 100 quiet clients from 127.0.0.2-9 for S seconds, for the
//                   caller's own scrapes (over TLS, with a password)
#include "RawHttp.h"

#include <CLI/CLI.hpp>

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace qdl::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int passed = 0, failed = 0;

void Check(const std::string& name, bool ok, const std::string& detail = "") {
    std::cout << (ok ? "ok" : "FAILED") << " - " << name << (detail.empty() ? "" : " (" + detail + ")")
              << std::endl;
    (ok ? passed : failed) += 1;
}

// The exporter's resident memory in KiB, from /proc; 0 without a process to look at.
long ResidentKiB(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long value = 0;
    while (status >> key)
        if (key == "VmRSS:" && status >> value)
            return value;
    return 0;
}

// One request on a fresh connection: its status, and how long the answer took.
std::pair<int, Clock::duration> Timed(int port, const std::string& path) {
    const auto start = Clock::now();
    RawConnection connection(port);
    connection.Send("GET " + path + " HTTP/1.1\r\nHost: exporter\r\nConnection: close\r\n\r\n");
    const auto codes = StatusCodes(connection.ReadAll(5s));
    return {codes.empty() ? 0 : codes.front(), Clock::now() - start};
}

std::string Milliseconds(Clock::duration time) {
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(time).count()) + " ms";
}

// Clients that hold connections open in three ways: idle, with half a request line, and sending
// one byte of an endless header each second.
class HeldConnections {
public:
    HeldConnections(int port, int idle, int half, int dripping) {
        for (int i = 0; i < idle; ++i)
            held_.push_back(std::make_unique<RawConnection>(port));
        for (int i = 0; i < half; ++i) {
            held_.push_back(std::make_unique<RawConnection>(port));
            held_.back()->Send("GET /metr");
        }
        for (int i = 0; i < dripping; ++i) {
            drippers_.push_back(std::make_unique<RawConnection>(port));
            drippers_.back()->Send("GET /metrics HTTP/1.1\r\nHost: h\r\nX-Drip: ");
        }
        dripping_ = std::thread([this] {
            pollfd woken{wake_, POLLIN, 0};
            do {
                for (auto& connection : drippers_)
                    connection->Send("x");
            } while (::poll(&woken, 1, 1000) == 0); // a second between bytes, until told to stop
        });
    }
    ~HeldConnections() {
        const std::uint64_t one = 1;
        (void)!::write(wake_, &one, sizeof one);
        dripping_.join();
        ::close(wake_);
    }

private:
    std::vector<std::unique_ptr<RawConnection>> held_, drippers_;
    int wake_ = ::eventfd(0, EFD_CLOEXEC);
    std::thread dripping_;
};

// Clients on eight other loopback addresses that take every place the exporter has: each sends
// one request, then idles, and connects again whenever it is closed.
class Siege {
public:
    // `quiet`: the clients send nothing at all, as those of a TLS port that never shake hands.
    Siege(int port, int clients, bool quiet = false) : port_(port), quiet_(quiet) {
        for (int i = 0; i < clients; ++i)
            connections_.push_back(Connect(i));
        keeping_ = std::thread([this] {
            pollfd woken{wake_, POLLIN, 0};
            while (::poll(&woken, 1, 50) == 0)
                for (std::size_t i = 0; i < connections_.size(); ++i)
                    if (connections_[i]->ClosedNow())
                        connections_[i] = Connect(static_cast<int>(i));
        });
    }
    ~Siege() {
        const std::uint64_t one = 1;
        (void)!::write(wake_, &one, sizeof one);
        keeping_.join();
        ::close(wake_);
    }

private:
    std::unique_ptr<RawConnection> Connect(int i) {
        auto connection = std::make_unique<RawConnection>(port_, "127.0.0." + std::to_string(2 + i % 8));
        if (!quiet_)
            connection->Send("GET /-/healthy HTTP/1.1\r\nHost: h\r\n\r\n");
        return connection;
    }

    int port_;
    bool quiet_;
    std::vector<std::unique_ptr<RawConnection>> connections_;
    int wake_ = ::eventfd(0, EFD_CLOEXEC);
    std::thread keeping_;
};

// A request of `headers` headers of `size` bytes each, sent as fast as the exporter takes it.
int HugeHead(int port, std::size_t headers, std::size_t size) {
    RawConnection connection(port);
    connection.Send("GET /metrics HTTP/1.1\r\nHost: h\r\n");
    const std::string header = "X-Filler: " + std::string(size, 'v') + "\r\n";
    for (std::size_t i = 0; i < headers && connection.Send(header); ++i) {
    }
    connection.Send("\r\n");
    const auto codes = StatusCodes(connection.ReadAll(5s));
    return codes.empty() ? 0 : codes.front();
}

int Answer(int port, const std::string& request) {
    RawConnection connection(port);
    connection.Send(request);
    const auto answers = connection.ReadAnswers(1, 5s);
    const auto codes = StatusCodes(answers.empty() ? "" : answers.front());
    return codes.empty() ? 0 : codes.front();
}

// One request on a fresh connection: its answer.
std::string Fetched(int port, const std::string& path) {
    RawConnection connection(port);
    connection.Send("GET " + path + " HTTP/1.1\r\nHost: exporter\r\nConnection: close\r\n\r\n");
    return connection.ReadAll(5s);
}

// The value of a series in an exposition, or -1 where it is missing.
double SeriesValue(const std::string& exposition, const std::string& name) {
    const auto at = exposition.find("\n" + name + " ");
    return at == std::string::npos ? -1 : std::atof(exposition.c_str() + at + name.size() + 2);
}

// `count` kept-alive clients, each with one request, at once: at the descriptor limit the switch
// is still reached and the process still reads its own metrics.
void KeptAlive(int port, int count, const std::string& target) {
    std::vector<std::unique_ptr<RawConnection>> clients;
    for (int i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<RawConnection>(port));
        clients.back()->Send("GET /-/healthy HTTP/1.1\r\nHost: h\r\n\r\n");
    }
    const std::string probed = Fetched(port, "/probe?target=" + target);
    const std::string up = "qdl4816_up{switch=\"" + target + "\"} ";
    const auto line = probed.find(up);
    Check("with " + std::to_string(count) + " kept-alive clients a healthy switch is up",
          line != std::string::npos && probed.compare(line + up.size(), 2, "1\n") == 0,
          line == std::string::npos ? probed.substr(0, 200) : probed.substr(line, up.size() + 1));
    const std::string metrics = Fetched(port, "/metrics");
    const double files = SeriesValue(metrics, "process_open_fds"),
                 cpu = SeriesValue(metrics, "process_cpu_seconds_total");
    Check("... and the process metrics are read, never 0", files > 0 && cpu > 0,
          "process_open_fds " + std::to_string(files) + ", process_cpu_seconds_total " + std::to_string(cpu));
}

// Waits on the process itself (a pidfd turns readable when it ends), within `within`.
bool EndsWithin(int pid, std::chrono::milliseconds within) {
    const int process = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (process < 0)
        return errno == ESRCH;
    pollfd ended{process, POLLIN, 0};
    const bool done = ::poll(&ended, 1, static_cast<int>(within.count())) == 1;
    ::close(process);
    return done;
}

} // namespace

int main(int argc, char** argv) {
    int port = 0, pid = 0;
    std::string target;
    bool stop = false, memory = false;
    CLI::App app{"Hostile clients against a running qdl4816_exporter.", "qdl-hostile-clients"};
    app.add_option("--port", port, "The exporter's port on 127.0.0.1")->required();
    app.add_option("--target", target, "A switch of its configuration that answers")->required();
    app.add_option("--pid", pid, "The exporter's process, for its memory");
    app.add_flag("--memory", memory, "Measure the exporter's memory; needs --pid");
    app.add_flag("--stop", stop, "Stop the exporter (SIGINT) while clients drip; needs --pid");
    bool siege = false, resets = false;
    int kept = 0, siegeFor = 0;
    app.add_option("--siege-for", siegeFor,
                   "Only this: 1 100 quiet clients from 127.0.0.2-9 take every place for SECONDS; says "
                   "\"holding\" once they are in, for the caller's own scrapes");
    app.add_option("--kept-alive", kept,
                   "Only this: N kept-alive clients, as many as the exporter's descriptors allow or more, "
                   "beside a probe and /metrics");
    app.add_flag("--resets", resets, "200 clients reset their connections mid-request before a probe");
    app.add_flag("--siege", siege, "1 100 clients from 127.0.0.2-9 take every place while scrapes come");
    CLI11_PARSE(app, argc, argv);
    ::signal(SIGPIPE, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    const std::string probe = "/probe?target=" + target;
    if (siegeFor > 0) {
        Siege taken(port, 1100, true);
        std::cout << "holding" << std::endl;
        pollfd nothing{-1, 0, 0};
        ::poll(&nothing, 1, siegeFor * 1000); // the siege lasts that long, whatever the caller does
        return 0;
    }
    if (kept > 0) {
        KeptAlive(port, kept, target);
        std::cout << passed << " passed, " << failed << " failed" << std::endl;
        return failed == 0 ? 0 : 1;
    }
    Check("the exporter answers a probe at all", Timed(port, probe).first == 200);
    const int measured = memory ? pid : 0;
    const long idle = ResidentKiB(measured);
    {
        HeldConnections held(port, 200, 32, 12);
        const auto [probeStatus, probeTime] = Timed(port, probe);
        Check("with 200 idle, 32 half and 12 dripping connections a probe is answered within 1 s",
              probeStatus == 200 && probeTime < 1s, Milliseconds(probeTime));
        const auto [metricsStatus, metricsTime] = Timed(port, "/metrics");
        Check("... and /metrics within 1 s", metricsStatus == 200 && metricsTime < 1s,
              Milliseconds(metricsTime));
        const long held_ = ResidentKiB(measured);
        if (measured)
            Check("244 held connections cost under 2 MiB", held_ - idle < 2048,
                  std::to_string(held_ - idle) + " KiB");
    }
    {
        std::vector<std::thread> floods;
        std::atomic<int> refused{0};
        for (int i = 0; i < 4; ++i)
            floods.emplace_back([&] { refused += HugeHead(port, 10000, 8192) != 200; });
        for (auto& flood : floods)
            flood.join();
        Check("four requests of 10 000 headers of 8 KB at once are refused", refused == 4);
        RawConnection line(port);
        line.Send("GET /" + std::string(10 << 20, 'a') + " HTTP/1.1\r\nHost: h\r\n\r\n");
        const auto codes = StatusCodes(line.ReadAll(5s));
        Check("a 10 MB request line is refused with 431", codes.empty() || codes.front() == 431);
    }
    if (measured) {
        const long after = ResidentKiB(measured);
        Check("memory is back to its idle size after the floods", after - idle < 4096,
              std::to_string(idle) + " KiB before, " + std::to_string(after) + " KiB after");
    }
    if (resets) {
        std::vector<std::unique_ptr<RawConnection>> resetting;
        for (int i = 0; i < 200; ++i) {
            resetting.push_back(std::make_unique<RawConnection>(port));
            resetting.back()->Send("GET " + probe + " HTTP/1.1\r\nHost: h\r\n");
        }
        for (auto& connection : resetting)
            connection->Reset();
        const auto [status, time] = Timed(port, probe);
        Check("after 200 clients reset their connections mid-request, a probe is answered within 1 s",
              status == 200 && time < 1s, Milliseconds(time));
    }
    if (siege) {
        Siege taken(port, 1100);
        int answered = 0;
        Clock::duration slowest{};
        for (int i = 0; i < 6; ++i) {
            const auto [status, time] = Timed(port, i % 2 ? "/metrics" : probe);
            answered += status == 200 && time < 1s;
            slowest = std::max(slowest, time);
        }
        Check("with 1 100 clients from other addresses taking every place, 6 of 6 scrapes are answered "
              "within 1 s",
              answered == 6, "slowest " + Milliseconds(slowest));
    }
    std::string chunks;
    for (int i = 0; i < 8; ++i)
        chunks += "4000\r\n" + std::string(0x4000, 'x') + "\r\n";
    Check("a chunked body past the limit is 413",
          Answer(port, "POST /-/reload HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n" + chunks +
                           "0\r\n\r\n") == 413);
    Check("Content-Length -1 is 400",
          Answer(port, "POST /-/reload HTTP/1.1\r\nHost: h\r\nContent-Length: -1\r\n\r\n") == 400);
    Check(
        "a Content-Length of 20 digits is 400",
        Answer(port, "POST /-/reload HTTP/1.1\r\nHost: h\r\nContent-Length: 99999999999999999999\r\n\r\n") ==
            400);
    Check("Content-Length with chunks is 400",
          Answer(port, "POST /-/reload HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\nTransfer-Encoding: "
                       "chunked\r\n\r\n0\r\n\r\n") == 400);
    Check("a bare line feed is 400", Answer(port, "GET /metrics HTTP/1.1\nHost: h\n\n") == 400);
    Check("a '#' in the target is 400",
          Answer(port, "GET " + probe + "#x HTTP/1.1\r\nHost: h\r\n\r\n") == 400);
    Check("HTTP/1.2 is 400", Answer(port, "GET /metrics HTTP/1.2\r\n\r\n") == 400);
    Check("target=foo=NAME is 400",
          Answer(port, "GET /probe?target=foo=" + target + " HTTP/1.1\r\nHost: h\r\n\r\n") == 400);
    Check("an absolute-form request line is understood",
          Answer(port, "GET http://127.0.0.1:" + std::to_string(port) +
                           "/metrics HTTP/1.1\r\nHost: h\r\n\r\n") == 200);
    Check("POST /-/reload without a body is answered",
          Answer(port, "POST /-/reload HTTP/1.1\r\nHost: h\r\n\r\n") == 200);
    {
        RawConnection pipelined(port);
        pipelined.Send(
            "GET /-/healthy HTTP/1.1\r\nHost: h\r\n\r\nGET /nowhere HTTP/1.1\r\nHost: h\r\n\r\nGET " + probe +
            " HTTP/1.1\r\nHost: h\r\n\r\n");
        std::string all;
        for (const auto& answer : pipelined.ReadAnswers(3, 10s))
            all += answer;
        Check("three pipelined requests are answered in order",
              StatusCodes(all) == std::vector<int>{200, 404, 200});
    }
    if (stop && pid) {
        HeldConnections dripping(port, 0, 0, 12);
        const auto start = Clock::now();
        ::kill(pid, SIGINT);
        const bool ended = EndsWithin(pid, 1s);
        Check("SIGINT while clients drip ends the exporter within 1 s", ended,
              Milliseconds(Clock::now() - start));
    }
    std::cout << passed << " passed, " << failed << " failed" << std::endl;
    return failed == 0 ? 0 : 1;
}
