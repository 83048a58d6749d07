#pragma once

#include "Call.h"

#include <functional>
#include <memory>
#include <optional>

namespace qdl::python {

// Hands `job` to a worker thread (threads kept for the next calls, so a call costs no thread's
// start) and waits for it with the GIL released, looking for Python's signals every 20 ms:
// a KeyboardInterrupt ends the wait at once unless the job has written to the switch; then the
// job runs to its end, the interrupt is raised after it with a note of what was done, and only a
// second one ends the wait before. The job's own failure is rethrown here.
void RunAndWait(std::shared_ptr<Call> call, std::function<void()> job);

template <typename Result> Result Interruptibly(const std::function<Result(Call&)>& work) {
    auto call = std::make_shared<Call>();
    auto result = std::make_shared<std::optional<Result>>();
    RunAndWait(call, [call, result, work] { *result = work(*call); });
    return std::move(**result);
}

} // namespace qdl::python
