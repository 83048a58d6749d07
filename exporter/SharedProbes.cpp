#include "SharedProbes.h"

#include "TextUtil.h"

namespace qdl::exporter {
namespace {

control::ProbeResult TooLateToStart(const std::string& name) {
    control::ProbeResult late;
    late.Kind = control::FailureKind::Timeout;
    late.FailureKind = "timeout";
    late.Message = name + ": the probe's time ran out while it waited for its turn.";
    return late;
}

} // namespace

void SharedProbes::Probe(const SwitchEntry& entry, const control::ProbeRequest& request, Done done) {
    const std::string key = LowerCase(entry.Name) + (request.Schedule ? "\n+schedule" : "\n");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto& waiting = waiting_[key];
        waiting.push_back(std::move(done));
        if (waiting.size() > 1)
            return;
    }
    pool_.Run([this, key, target = entry.Target, request] { Run(key, target, request); });
}

std::size_t SharedProbes::InFlight() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return inFlight_;
}

void SharedProbes::Run(const std::string& key, const control::SwitchTarget& target,
                       const control::ProbeRequest& request) {
    control::ProbeResult result;
    if (std::chrono::steady_clock::now() >= request.Deadline) {
        result = TooLateToStart(target.Name());
    } else {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++inFlight_;
        }
        result = control::ProbeSwitch(target, request);
        std::lock_guard<std::mutex> lock(mutex_);
        --inFlight_;
    }
    std::vector<Done> told;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        told = std::move(waiting_[key]);
        waiting_.erase(key);
    }
    for (const Done& done : told)
        done(result);
}

} // namespace qdl::exporter
