#pragma once

#include "Metrics.h"
#include "SwitchesFile.h"
#include "WorkerPool.h"

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace qdl::exporter {

using control::SwitchEntry;
using control::SwitchesFile;

// At most one exchange with each switch at a time for each set of series asked for: a scrape that
// comes while another one's probe of the same switch, with the same options, runs is told that
// probe's result; one that asks for other series (the schedule, say) gets a probe of its own.
// Probes run on the pool; a probe whose deadline passed while it waited in line is not sent.
class SharedProbes {
public:
    using Done = std::function<void(const control::ProbeResult&)>;

    explicit SharedProbes(WorkerPool& pool) : pool_(pool) {}

    void Probe(const SwitchEntry& entry, const control::ProbeRequest& request, Done done);
    // Exchanges with switches running now.
    std::size_t InFlight() const;

private:
    void Run(const std::string& key, const control::SwitchTarget& target,
             const control::ProbeRequest& request);

    WorkerPool& pool_;
    mutable std::mutex mutex_;
    std::map<std::string, std::vector<Done>> waiting_; // by switch and options
    std::size_t inFlight_ = 0;
};

} // namespace qdl::exporter
