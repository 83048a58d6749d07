#pragma once

#include "Call.h"
#include "StopCheck.h"

#include <pybind11/pybind11.h>

#include <exception>
#include <functional>
#include <optional>

namespace qdl::python {

// Python's stop requests as an operation's Call sees them: what a signal handler raised (a
// KeyboardInterrupt) is taken from Python and kept, to be raised once the operation has ended.
class PythonStops {
public:
    // With the GIL released: runs Python's signal handlers; true when one raised.
    bool Signalled();
    bool Any() const { return kept_.has_value(); }
    // The kept stop, with a note of what the change did where it had written.
    [[noreturn]] void Raise(const Call& call, const std::exception_ptr& failure);

private:
    std::optional<pybind11::error_already_set> kept_;
};

// Runs `work` on this thread with the GIL released, so other Python threads run meanwhile. Its
// waits (a socket, the switch's lock, a cycle's off time) look for Ctrl-C whenever a signal
// interrupts them and every 20 ms: an exchange ends at once, and a change as Call says.
template <typename Result> Result Interruptibly(const std::function<Result(Call&)>& work) {
    PythonStops stops;
    Call call([&stops] { return stops.Signalled(); });
    std::optional<Result> result;
    std::exception_ptr failure;
    {
        pybind11::gil_scoped_release released;
        platform::StopCheckScope check([&call] { return call.MustStop(); });
        try {
            result = work(call);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (stops.Any())
        stops.Raise(call, failure);
    if (failure)
        std::rethrow_exception(failure);
    return std::move(*result);
}

} // namespace qdl::python
