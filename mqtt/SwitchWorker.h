#pragma once

#include "Broker.h"
#include "SwitchReport.h"
#include "SwitchesFile.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace qdl::mqtt {

// One switch on a thread of its own: read every poll under the per-switch lock, commands applied
// by the checked change one exchange at a time, what it shows published through its report.
// Whatever fails inside is caught here: the switch goes offline with the reason, the thread goes on.
class SwitchWorker {
public:
    SwitchWorker(Broker& broker, control::SwitchEntry entry, const std::string& prefix, std::chrono::seconds poll,
                 std::chrono::seconds cycleOff);
    ~SwitchWorker(); // stops (see Stop) and waits for the thread
    SwitchWorker(const SwitchWorker&) = delete;
    SwitchWorker& operator=(const SwitchWorker&) = delete;

    // ON, OFF or CYCLE. The last command for an outlet wins over one still waiting: a flood cannot
    // make it flap.
    void Command(int outlet, const std::string& command);
    void Republish() { report_.Republish(); }

    // True when this worker serves that very switch with these times: a reload keeps it.
    bool Serves(const control::SwitchEntry& entry, std::chrono::seconds poll, std::chrono::seconds cycleOff) const;

    // The switch was removed by a reload: the exchange under way ends as it would (a cycle keeps
    // its whole off time), commands still waiting are dropped, and the thread ends. Never waits.
    void Retire();
    // The bridge stops: as Retire, and a cycle's off time ends now; the cycle says so on the error
    // topic and publishes what the switch shows. Never waits.
    void Stop();
    bool Finished() const;

private:
    void Run();
    // The next command waiting, lowest outlet first.
    std::optional<std::pair<int, std::string>> TakeCommand();
    void DropWaiting(const char* why);
    // Runs one step; anything it throws is this switch's failure, never the bridge's.
    template <typename Step> void Guarded(const std::optional<int>& outlet, Step step);
    void Poll();
    void Execute(int outlet, const std::string& command);
    void Cycle(control::SwitchSession& session, int outlet);

    const control::SwitchEntry entry_;
    const std::chrono::seconds poll_, cycleOff_;
    SwitchReport report_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool retired_ = false, stopped_ = false, finished_ = false;
    std::array<std::optional<std::string>, control::OutletCount> waiting_;
    std::thread thread_; // last: it starts once everything above is made
};

} // namespace qdl::mqtt
