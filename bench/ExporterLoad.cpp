// The exporter under load (scripts/bench-exporter.sh): what one probe costs against a bare GetPower
// exchange with the same switch; a probe over a kept-alive connection against one over a fresh
// connection, and against the blackbox exporter doing the same GetPower, as Prometheus calls them;
// what 200 idle connections cost; then a flood of probes of several switches from concurrent
// clients, while the exporter's resident memory is sampled from /proc.
//
// Beside it, a second exporter whose configuration holds 300 hanging switches: a healthy switch's
// probe while all 300 are probed, against the same probe on the idle exporter.
//
//   exporter_load PORT PID SWITCH_PORT TARGETS CLIENTS PROBES BLACKBOX_PORT HANGING_PORT
#include "Metrics.h"
#include "RequestTarget.h"
#include "SwitchSession.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A line of /proc/PID/status in KiB: VmRSS (all resident pages, the shared libraries' too) or
// RssAnon (the process's own).
long StatusKiB(int pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

long ResidentKiB(int pid) {
    return StatusKiB(pid, "VmRSS");
}

// One GET as Prometheus makes it, its scrape timeout announced; true when the answer holds `success`.
bool Scrape(httplib::Client& client, const std::string& path, const std::string& success = "") {
    const auto result = client.Get(path.c_str(), {{"X-Prometheus-Scrape-Timeout-Seconds", "10"}});
    return result && result->status == 200 && result->body.find(success) != std::string::npos;
}

// `count` connections to the port on loopback, as they are: idle until written.
std::vector<int> Connections(int port, int count) {
    std::vector<int> connections;
    for (int i = 0; i < count; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
        connections.push_back(s);
    }
    return connections;
}

template <typename Step> double MedianMicroseconds(int runs, Step step) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        step();
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[static_cast<std::size_t>(runs / 2)];
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 9) {
        std::fprintf(stderr, "usage: exporter_load PORT PID SWITCH_PORT TARGETS CLIENTS PROBES BLACKBOX_PORT "
                             "HANGING_PORT\n");
        return 2;
    }
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
    const int port = std::stoi(argv[1]), pid = std::stoi(argv[2]), switchPort = std::stoi(argv[3]);
    const int targets = std::stoi(argv[4]), clients = std::stoi(argv[5]), probes = std::stoi(argv[6]);
    const int blackboxPort = std::stoi(argv[7]), hangingPort = std::stoi(argv[8]);

    qdl::control::SwitchTarget target;
    target.Host = "127.0.0.1";
    target.Port = switchPort;
    target.UserName = "admin";
    target.Password = "40617253";
    // Interleaved, so that both see the same machine.
    double bare = 0, probe = 0;
    for (int round = 0; round < 5; ++round) {
        bare += MedianMicroseconds(200, [&] {
            qdl::control::SwitchSession session(target);
            session.GetPower();
        });
        probe += MedianMicroseconds(200, [&] {
            const qdl::control::ProbeRequest request;
            const auto result = qdl::control::ProbeSwitch(target, request);
            qdl::control::ProbeExposition(result, request, 0);
        });
    }
    std::printf("one GetPower exchange: %.0f us; one probe with its exposition: %.0f us; ratio %.2f\n",
                bare / 5, probe / 5, probe / bare);

    // Interleaved rounds again: ours kept alive, ours on a fresh connection each time, and the
    // blackbox exporter's GetPower with basic authentication, kept alive.
    httplib::Client kept("127.0.0.1", port), blackbox("127.0.0.1", blackboxPort);
    kept.set_keep_alive(true);
    blackbox.set_keep_alive(true);
    const std::string ours = "/probe?target=rack1";
    const std::string theirs = "/probe?module=getpower&target=" +
                               qdl::exporter::QueryEscaped("http://127.0.0.1:" + std::to_string(switchPort) +
                                                           "/Set.cmd?CMD=GetPower");
    int failed = 0;
    double keptAlive = 0, fresh = 0, peer = 0;
    for (int round = 0; round < 5; ++round) {
        keptAlive += MedianMicroseconds(200, [&] { failed += !Scrape(kept, ours, "\"} 1\n"); });
        fresh += MedianMicroseconds(200, [&] {
            httplib::Client once("127.0.0.1", port);
            failed += !Scrape(once, ours, "\"} 1\n");
        });
        peer += MedianMicroseconds(200, [&] { failed += !Scrape(blackbox, theirs, "\nprobe_success 1\n"); });
    }
    std::printf(
        "probe kept alive: %.0f us; on a fresh connection: %.0f us (kept/fresh %.2f); blackbox exporter's "
        "GetPower kept alive: %.0f us (ours/blackbox %.2f); %d failed\n",
        keptAlive / 5, fresh / 5, keptAlive / fresh, peer / 5, keptAlive / peer, failed);

    {
        // Every hanging switch probed at once, each scrape's time 5 s: the healthy switch's probes
        // are measured while all 300 are in flight.
        std::vector<int> hanging = Connections(hangingPort, 300);
        for (std::size_t i = 0; i < hanging.size(); ++i) {
            const std::string request = "GET /probe?target=hung" + std::to_string(i) +
                                        " HTTP/1.1\r\nHost: h\r\nX-Prometheus-Scrape-Timeout-Seconds: 5\r\n\r\n";
            (void)!::send(hanging[i], request.data(), request.size(), MSG_NOSIGNAL);
        }
        httplib::Client beside("127.0.0.1", hangingPort);
        beside.set_keep_alive(true);
        while (!Scrape(beside, "/metrics", "\nqdl4816_exporter_probes_in_flight 300\n")) {
        }
        double idleProbe = 0, besideHanging = 0;
        for (int round = 0; round < 5; ++round) {
            idleProbe += MedianMicroseconds(100, [&] { failed += !Scrape(kept, ours, "\"} 1\n"); });
            besideHanging += MedianMicroseconds(100, [&] { failed += !Scrape(beside, ours, "\"} 1\n"); });
        }
        std::printf("probe kept alive on an idle exporter: %.0f us; beside 300 hanging switches in flight: %.0f us "
                    "(ratio %.2f)\n",
                    idleProbe / 5, besideHanging / 5, besideHanging / idleProbe);
        for (const int s : hanging)
            ::close(s);
    }

    const long before = ResidentKiB(pid), threadsBefore = StatusKiB(pid, "Threads");
    {
        const std::vector<int> idleConnections = Connections(port, 1100);
        httplib::Client probe("127.0.0.1", port);
        Scrape(probe, "/metrics"); // all accepted by now: the server's one thread takes them in order
        std::printf("1100 idle connections (the cap is 1000: the longest waiting give way): %+ld KiB resident, "
                    "%+ld threads\n",
                    ResidentKiB(pid) - before, StatusKiB(pid, "Threads") - threadsBefore);
        for (const int s : idleConnections)
            ::close(s);
        // Within 5 s of the flood's end, what it took is given back.
        const auto until = Clock::now() + std::chrono::seconds(5);
        long after = ResidentKiB(pid);
        while (after - before > 2048 && Clock::now() < until) {
            Scrape(probe, "/-/healthy");
            after = ResidentKiB(pid);
        }
        std::printf("after they closed: %+ld KiB resident against before\n", after - before);
    }

    const long idle = ResidentKiB(pid), idleOwn = StatusKiB(pid, "RssAnon");
    std::printf("exporter resident when idle: %ld KiB, of which its own %ld KiB\n", idle, idleOwn);
    std::atomic<int> errors{0};
    // Two floods: what the first leaves behind must not grow with the second.
    for (int flood = 1; flood <= 2; ++flood) {
        std::atomic<long> peak{idle};
        std::atomic<bool> done{false};
        std::thread sampler([&] {
            while (!done) {
                peak = std::max(peak.load(), ResidentKiB(pid));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        std::atomic<int> next{0};
        const auto started = Clock::now();
        std::vector<std::thread> workers;
        for (int c = 0; c < clients; ++c)
            workers.emplace_back([&] {
                httplib::Client client("127.0.0.1", port);
                client.set_read_timeout(std::chrono::seconds(10));
                for (int i; (i = next++) < probes;) {
                    const auto result =
                        client.Get(("/probe?target=rack" + std::to_string(i % targets + 1)).c_str());
                    if (!result || result->status != 200 ||
                        result->body.find("qdl4816_up{switch=\"rack") == std::string::npos ||
                        result->body.find("\"} 1\n") == std::string::npos)
                        ++errors;
                }
            });
        for (auto& worker : workers)
            worker.join();
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        done = true;
        sampler.join();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        std::printf(
            "flood %d: %d probes of %d switches from %d clients in %.2f s, %d errors so far; resident peak "
            "%ld KiB, after %ld KiB (its own %ld KiB)\n",
            flood, probes, targets, clients, seconds, errors.load(), peak.load(), ResidentKiB(pid),
            StatusKiB(pid, "RssAnon"));
    }
    return errors == 0 && failed == 0 ? 0 : 1;
}
