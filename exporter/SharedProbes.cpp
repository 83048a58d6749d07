#include "SharedProbes.h"

#include "TextUtil.h"

#include <algorithm>

namespace qdl::exporter {
namespace {

using Clock = std::chrono::steady_clock;

control::ProbeResult TooLateToStart(const std::string& name) {
    control::ProbeResult late;
    late.Kind = control::FailureKind::Timeout;
    late.FailureKind = "timeout";
    late.Message = name + ": the probe's time ran out while it waited for its turn.";
    return late;
}

// True when a probe asking for `running` reads every series `wanted` asks for.
bool Covers(const control::ProbeRequest& running, const control::ProbeRequest& wanted) {
    return running.Schedule || !wanted.Schedule;
}

// ... and ends no earlier than `wanted` may wait.
bool Serves(const control::ProbeRequest& running, const control::ProbeRequest& wanted) {
    return Covers(running, wanted) && wanted.Deadline <= running.Deadline;
}

} // namespace

void SharedProbes::Probe(const SwitchEntry& entry, const control::ProbeRequest& request, Done done) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string key = LowerCase(entry.Name);
    Line& line = lines_[key];
    if (!line.Busy) {
        line.Target = entry.Target;
        std::vector<Waiter> first;
        first.push_back({request, std::move(done)});
        return Start(key, line, std::move(first));
    }
    if (Serves(line.Running, request))
        line.Riding.push_back({request, std::move(done)});
    else
        line.Next.push_back({request, std::move(done)});
}

std::size_t SharedProbes::InFlight() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return inFlight_;
}

void SharedProbes::Start(const std::string& key, Line& line, std::vector<Waiter> waiters) {
    line.Busy = true;
    line.Running = waiters.front().Request;
    for (const Waiter& waiter : waiters) {
        line.Running.Schedule = line.Running.Schedule || waiter.Request.Schedule;
        line.Running.Deadline = std::max(line.Running.Deadline, waiter.Request.Deadline);
    }
    line.Riding = std::move(waiters);
    pool_.Run([this, key] { Run(key); });
}

void SharedProbes::Run(const std::string& key) {
    control::SwitchTarget target;
    control::ProbeRequest request;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const Line& line = lines_.at(key);
        target = line.Target;
        request = line.Running;
        ++inFlight_;
    }
    const control::ProbeResult result = Clock::now() >= request.Deadline
                                            ? TooLateToStart(target.Name())
                                            : control::ProbeSwitch(target, request);
    std::vector<Waiter> told;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --inFlight_;
        Line& line = lines_.at(key);
        told = std::move(line.Riding);
        std::vector<Waiter> next;
        for (Waiter& waiter : line.Next) {
            // A success is the switch as it is for them too; a failure may be no more than this
            // probe's deadline, so those who can wait longer get an exchange of their own.
            if (result.Up && Covers(request, waiter.Request))
                told.push_back(std::move(waiter));
            else if (Clock::now() < waiter.Request.Deadline)
                next.push_back(std::move(waiter));
        }
        line.Next.clear();
        line.Busy = false;
        if (!next.empty())
            Start(key, line, std::move(next));
        else
            lines_.erase(key);
    }
    for (const Waiter& waiter : told)
        waiter.Told(result);
}

} // namespace qdl::exporter
