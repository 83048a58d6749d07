#pragma once

#include <array>
#include <ctime>
#include <mutex>
#include <string>

namespace qdl::exporter {

// The exporter's own metrics for GET /metrics: build info, probes by result, the probes' duration
// as a histogram, and whether the last configuration load succeeded and when.
class SelfMetrics {
public:
    void Probed(bool up, double seconds);
    void Reloaded(bool success);
    std::string Exposition(const std::string& version) const;

private:
    static constexpr std::array<double, 9> Buckets{0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5};
    mutable std::mutex mutex_;
    double successes_ = 0, failures_ = 0;
    std::array<double, Buckets.size()> counts_{};
    double durationSum_ = 0, durationCount_ = 0;
    bool lastReloadOk_ = false;
    std::time_t lastReloadSuccess_ = 0;
};

} // namespace qdl::exporter
