#include "SelfMetrics.h"

#include "Metrics.h"
#include "ProcessStats.h"

#include <optional>

#include <sstream>

namespace qdl::exporter {
namespace {

void Family(std::ostringstream& out, const char* name, const char* type, const char* help) {
    out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
}

// A process series only where it could be read.
void ProcessSeries(std::ostringstream& out, const char* name, const char* type, const char* help,
                   const std::optional<double>& value) {
    if (!value)
        return;
    Family(out, name, type, help);
    out << name << ' ' << *value << '\n';
}

void ProcessSeries(std::ostringstream& out) {
    const platform::ProcessStats stats = platform::ReadProcessStats();
    ProcessSeries(out, "process_cpu_seconds_total", "counter",
                  "Total user and system CPU time spent in seconds.", stats.CpuSeconds);
    ProcessSeries(out, "process_resident_memory_bytes", "gauge", "Resident memory size in bytes.",
                  stats.ResidentBytes);
    ProcessSeries(out, "process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.",
                  stats.VirtualBytes);
    ProcessSeries(out, "process_start_time_seconds", "gauge",
                  "Start time of the process since unix epoch in seconds.", stats.StartTime);
    ProcessSeries(out, "process_open_fds", "gauge", "Number of open file descriptors.", stats.OpenFiles);
    ProcessSeries(out, "process_max_fds", "gauge", "Maximum number of open file descriptors.",
                  stats.MostFiles);
}

} // namespace

void SelfMetrics::Probed(const std::string& target, bool up, const std::string& failureKind, double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    (up ? successes_ : failures_) += 1;
    if (!up)
        failuresByTarget_[{target, failureKind}] += 1;
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

std::string SelfMetrics::Exposition(const std::string& version, const ServingNow& now) const {
    std::ostringstream out;
    out.precision(15);
    ProcessSeries(out);
    std::lock_guard<std::mutex> lock(mutex_);
    Family(out, "qdl4816_exporter_build_info", "gauge", "The exporter's version, as a label; always 1.");
    out << "qdl4816_exporter_build_info{version=\"" << control::LabelValue(version) << "\"} 1\n";
    Family(out, "qdl4816_exporter_probes_total", "counter", "Probes of switches since the start, by result.");
    out << "qdl4816_exporter_probes_total{result=\"success\"} " << successes_ << "\n"
        << "qdl4816_exporter_probes_total{result=\"failure\"} " << failures_ << "\n";
    Family(out, "qdl4816_exporter_probe_failures_total", "counter",
           "Failed probes since the start, by target and kind of failure.");
    for (const auto& [key, count] : failuresByTarget_)
        out << "qdl4816_exporter_probe_failures_total{target=\"" << control::LabelValue(key.first)
            << "\",kind=\"" << control::LabelValue(key.second) << "\"} " << count << '\n';
    Family(out, "qdl4816_exporter_probes_in_flight", "gauge", "Exchanges with switches running now.");
    out << "qdl4816_exporter_probes_in_flight " << now.ProbesInFlight << '\n';
    Family(out, "qdl4816_exporter_connections_open", "gauge", "Client connections open now.");
    out << "qdl4816_exporter_connections_open " << now.OpenConnections << '\n';
    Family(out, "qdl4816_exporter_probe_duration_seconds", "histogram",
           "How long the probes of switches took.");
    for (std::size_t i = 0; i < Buckets.size(); ++i)
        out << "qdl4816_exporter_probe_duration_seconds_bucket{le=\"" << Buckets[i] << "\"} " << counts_[i]
            << "\n";
    out << "qdl4816_exporter_probe_duration_seconds_bucket{le=\"+Inf\"} " << durationCount_ << "\n"
        << "qdl4816_exporter_probe_duration_seconds_sum " << durationSum_ << "\n"
        << "qdl4816_exporter_probe_duration_seconds_count " << durationCount_ << "\n";
    Family(out, "qdl4816_exporter_config_last_reload_successful", "gauge",
           "Whether the last load of the configuration file succeeded.");
    out << "qdl4816_exporter_config_last_reload_successful " << (lastReloadOk_ ? 1 : 0) << "\n";
    Family(out, "qdl4816_exporter_config_last_reload_success_timestamp_seconds", "gauge",
           "When the configuration file was last loaded successfully, as a Unix time.");
    out << "qdl4816_exporter_config_last_reload_success_timestamp_seconds " << lastReloadSuccess_ << "\n";
    return out.str();
}

} // namespace qdl::exporter
