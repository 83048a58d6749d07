#include "SharedProbes.h"

#include "TextUtil.h"

namespace qdl::exporter {

control::ProbeResult SharedProbes::Probe(const SwitchEntry& entry, const control::ProbeRequest& request) {
    const std::string key = LowerCase(entry.Name);
    std::promise<control::ProbeResult> mine;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (const auto running = running_.find(key); running != running_.end()) {
            const std::shared_future<control::ProbeResult> shared = running->second;
            lock.unlock();
            if (shared.wait_until(request.Deadline) == std::future_status::ready)
                return shared.get();
            control::ProbeResult late;
            late.Kind = control::FailureKind::Timeout;
            late.FailureKind = "timeout";
            late.Message =
                entry.Name + ": another scrape's probe of this switch did not end within this one's time.";
            return late;
        }
        running_[key] = mine.get_future().share();
    }
    const control::ProbeResult result = control::ProbeSwitch(entry.Target, request);
    mine.set_value(result);
    std::lock_guard<std::mutex> lock(mutex_);
    running_.erase(key);
    return result;
}

} // namespace qdl::exporter
