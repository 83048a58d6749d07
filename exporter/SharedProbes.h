#pragma once

#include "Metrics.h"
#include "SwitchesFile.h"
#include "WorkerPool.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace qdl::exporter {

using control::SwitchEntry;
using control::SwitchesFile;

// At most one exchange with each switch at a time. A scrape that comes while a probe of its
// switch runs shares that probe's result only where the probe asks for every series it wants and
// ends no earlier than its own deadline would: a client with a short deadline never cuts a
// longer scrape short. Any other scrape waits for the next exchange, which serves all who waited
// (their series, their latest deadline); a failure goes to the probe's own scrapes alone, a
// success to every waiter it covers. Each exchange has a thread of its own (up to the pool's
// size, far above the switches a configuration names), so a hanging switch holds nobody but its
// own scrapes.
class SharedProbes {
public:
    using Done = std::function<void(const control::ProbeResult&)>;

    explicit SharedProbes(std::size_t mostExchanges) : pool_(mostExchanges) {}

    void Probe(const SwitchEntry& entry, const control::ProbeRequest& request, Done done);
    // Exchanges with switches running now.
    std::size_t InFlight() const;
    // Starts no more exchanges, and waits up to `within` for the running ones.
    bool Finish(std::chrono::milliseconds within) { return pool_.Finish(within); }

private:
    struct Waiter {
        control::ProbeRequest Request;
        Done Told;
    };
    // One switch's exchange running and the scrapes that wait for it, or for the next.
    struct Line {
        control::SwitchTarget Target;
        control::ProbeRequest Running; // what the exchange asks for, by when
        bool Busy = false;
        std::vector<Waiter> Riding, Next;
    };

    // Under the lock: the exchange for `waiters`, asking for all they want by the latest deadline.
    void Start(const std::string& key, Line& line, std::vector<Waiter> waiters);
    void Run(const std::string& key);

    mutable std::mutex mutex_;
    std::map<std::string, Line> lines_; // by switch
    std::size_t inFlight_ = 0;
    // Last, so that it ends first: its jobs use the lines.
    WorkerPool pool_;
};

} // namespace qdl::exporter
