#pragma once

#include "ExporterConfig.h"
#include "Metrics.h"

#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <string>

namespace qdl::exporter {

// At most one exchange with each switch at a time: a scrape that comes while another one's probe
// of the same switch runs waits for that probe's result and shares it, until its own deadline.
class SharedProbes {
public:
    control::ProbeResult Probe(const SwitchEntry& entry, const control::ProbeRequest& request);

private:
    std::mutex mutex_;
    std::map<std::string, std::shared_future<control::ProbeResult>> running_; // by switch name
};

} // namespace qdl::exporter
