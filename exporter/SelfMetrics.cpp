#include "SelfMetrics.h"

#include <sstream>

namespace qdl::exporter {

void SelfMetrics::Probed(bool up, double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    (up ? successes_ : failures_) += 1;
    for (std::size_t i = 0; i < Buckets.size(); ++i)
        if (seconds <= Buckets[i])
            counts_[i] += 1;
    durationSum_ += seconds;
    durationCount_ += 1;
}

void SelfMetrics::Reloaded(bool success) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastReloadOk_ = success;
    if (success)
        lastReloadSuccess_ = std::time(nullptr);
}

std::string SelfMetrics::Exposition(const std::string& version) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::ostringstream out;
    out.precision(15);
    out << "# HELP qdl4816_exporter_build_info The exporter's version, as a label; always 1.\n"
           "# TYPE qdl4816_exporter_build_info gauge\n"
        << "qdl4816_exporter_build_info{version=\"" << version << "\"} 1\n"
        << "# HELP qdl4816_exporter_probes_total Probes of switches since the start, by result.\n"
           "# TYPE qdl4816_exporter_probes_total counter\n"
        << "qdl4816_exporter_probes_total{result=\"success\"} " << successes_ << "\n"
        << "qdl4816_exporter_probes_total{result=\"failure\"} " << failures_ << "\n"
        << "# HELP qdl4816_exporter_probe_duration_seconds How long the probes of switches took.\n"
           "# TYPE qdl4816_exporter_probe_duration_seconds histogram\n";
    for (std::size_t i = 0; i < Buckets.size(); ++i)
        out << "qdl4816_exporter_probe_duration_seconds_bucket{le=\"" << Buckets[i] << "\"} " << counts_[i]
            << "\n";
    out << "qdl4816_exporter_probe_duration_seconds_bucket{le=\"+Inf\"} " << durationCount_ << "\n"
        << "qdl4816_exporter_probe_duration_seconds_sum " << durationSum_ << "\n"
        << "qdl4816_exporter_probe_duration_seconds_count " << durationCount_ << "\n"
        << "# HELP qdl4816_exporter_config_last_reload_successful Whether the last load of the configuration "
           "file succeeded.\n"
           "# TYPE qdl4816_exporter_config_last_reload_successful gauge\n"
        << "qdl4816_exporter_config_last_reload_successful " << (lastReloadOk_ ? 1 : 0) << "\n"
        << "# HELP qdl4816_exporter_config_last_reload_success_timestamp_seconds When the configuration file "
           "was "
           "last loaded successfully, as a Unix time.\n"
           "# TYPE qdl4816_exporter_config_last_reload_success_timestamp_seconds gauge\n"
        << "qdl4816_exporter_config_last_reload_success_timestamp_seconds " << lastReloadSuccess_ << "\n";
    return out.str();
}

} // namespace qdl::exporter
