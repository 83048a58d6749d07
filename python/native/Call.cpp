#include "Call.h"

#include "Failures.h"
#include "StopCheck.h"

#include <algorithm>
#include <thread>

namespace qdl::python {

bool Call::MustStop() {
    if (signalled_())
        ++stops_;
    return stops_ > (wrote_ ? 1 : 0);
}

void Call::Interrupted() {
    throw control::Failure(control::FailureKind::Interrupted, "Stopped by a stop request.");
}

void Call::BeforeWrite() {
    if (MustStop())
        Interrupted();
    wrote_ = true;
}

bool Call::Wait(std::chrono::milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    for (;;) {
        if (MustStop())
            Interrupted();
        if (stops_ > 0)
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return true;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(platform::StopCheckSlice, end - now));
    }
}

} // namespace qdl::python
