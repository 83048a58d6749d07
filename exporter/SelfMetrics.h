#pragma once

#include <array>
#include <cstddef>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace qdl::exporter {

// What the exporter serves now, for the gauges of GET /metrics.
struct ServingNow {
    std::size_t ProbesInFlight = 0;
    std::size_t OpenConnections = 0;
};

// The exporter's own metrics for GET /metrics: build info, probes by result and failures by
// target and kind, the probes' duration as a histogram up to the longest probe time, probes in
// flight and connections open, whether the last configuration load succeeded and when, and the
// process_* series of the client libraries.
class SelfMetrics {
public:
    void Probed(const std::string& target, bool up, const std::string& failureKind, double seconds);
    void Reloaded(bool success);
    std::string Exposition(const std::string& version, const ServingNow& now) const;

private:
    // Up to --probe.timeout's largest value.
    static constexpr std::array<double, 15> Buckets{0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1,
                                                    2.5,   5,    10,    30,   60,  120,  300};
    mutable std::mutex mutex_;
    double successes_ = 0, failures_ = 0;
    std::map<std::pair<std::string, std::string>, double> failuresByTarget_; // (target, kind)
    std::array<double, Buckets.size()> counts_{};
    double durationSum_ = 0, durationCount_ = 0;
    bool lastReloadOk_ = false;
    std::time_t lastReloadSuccess_ = 0;
};

} // namespace qdl::exporter
