#pragma once

#include "Broker.h"
#include "Outlets.h"

#include <mutex>
#include <optional>
#include <string>

namespace qdl::mqtt {

// What one switch's topics say: its availability, each outlet's state (retained, only from what
// the switch showed) and its failures (PREFIX/NAME/error, a JSON object: outlet, kind, message).
// Whatever bytes a switch's reply held, every payload and log line is valid UTF-8. Safe to call
// from several threads.
class SwitchReport {
public:
    SwitchReport(Broker& broker, std::string name, std::string topic);

    // States the switch showed: the switch is online, and each state that changed is published.
    void Shows(const control::OutletStates& states);
    // A failure of a read (no outlet) or of a command for `outlet`; `offline`: the switch's states
    // are no longer known. The same failure again is published, but logged only once.
    void Failed(const std::optional<int>& outlet, const std::string& kind, const std::string& message,
                bool offline);
    // What is known, again, for a broker that may have lost it.
    void Republish();

private:
    void SetOnline(bool online);
    void PublishState(int outlet, bool on);

    Broker& broker_;
    const std::string name_, topic_;
    std::mutex mutex_;
    std::optional<control::OutletStates> shown_;
    std::optional<bool> online_;
    std::string logged_; // the last failure logged, until the switch shows its states again
};

} // namespace qdl::mqtt
