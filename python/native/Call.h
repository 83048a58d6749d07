#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace qdl::python {

// One operation on a switch for a Python caller, run on the caller's own thread with the GIL
// released, and what the caller's stop requests (Ctrl-C) may do to it, as qdlctl decides: a stop
// before the change's first write ends it there, so nothing is switched; after it, the change
// runs to its end (a cycle cuts its off time short and switches the outlets on again) and the
// stop is told afterwards; a second stop ends it at once.
class Call {
public:
    // `signalled` looks for a new stop request (Python's signals) and is true when it found one.
    explicit Call(std::function<bool()> signalled) : signalled_(std::move(signalled)) {}

    // Looks for stop requests: true when the operation must end now.
    bool MustStop();
    // Before each write to the switch: a Failure of kind Interrupted when the operation must end.
    void BeforeWrite();
    // The cycle's off time: waits `time`, looking for stop requests every 20 ms; false when a stop
    // cut it short. A Failure of kind Interrupted when the operation must end.
    bool Wait(std::chrono::milliseconds time);

    int Stops() const { return stops_; }
    bool Wrote() const { return wrote_; }
    // What the change did, in words, for the note of a stop told after it.
    void SetOutcome(std::string outcome) { outcome_ = std::move(outcome); }
    const std::string& Outcome() const { return outcome_; }

private:
    [[noreturn]] static void Interrupted();

    std::function<bool()> signalled_;
    int stops_ = 0;
    bool wrote_ = false;
    std::string outcome_;
};

} // namespace qdl::python
