// The exporter under load (scripts/bench-exporter.sh): what one probe costs against a bare GetPower
// exchange with the same switch, then a flood of probes of several switches from concurrent
// clients, while the exporter's resident memory is sampled from /proc.
//
//   exporter_load PORT PID SWITCH_PORT TARGETS CLIENTS PROBES
#include "Metrics.h"
#include "SwitchSession.h"

#include <httplib.h>

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
    if (argc != 7) {
        std::fprintf(stderr, "usage: exporter_load PORT PID SWITCH_PORT TARGETS CLIENTS PROBES\n");
        return 2;
    }
    const int port = std::stoi(argv[1]), pid = std::stoi(argv[2]), switchPort = std::stoi(argv[3]);
    const int targets = std::stoi(argv[4]), clients = std::stoi(argv[5]), probes = std::stoi(argv[6]);

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
                        result->body.find("qdl4816_up 1\n") == std::string::npos)
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
    return errors == 0 ? 0 : 1;
}
