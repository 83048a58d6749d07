#include "Interruptibly.h"

#include "WorkerPool.h"

#include <pybind11/pybind11.h>

#include <unistd.h>

namespace qdl::python {
namespace {

namespace py = pybind11;

constexpr std::chrono::milliseconds SignalCheck{20};

// Never destroyed: a job still running when the interpreter exits (one a second Ctrl-C left)
// must not hold the exit until its deadline. A child made by fork() has none of its parent's
// threads, so it gets a pool of its own. Called with the GIL held.
control::WorkerPool& Workers() {
    static control::WorkerPool* workers = nullptr;
    static pid_t owner = 0;
    if (!workers || owner != ::getpid()) {
        workers = new control::WorkerPool(256);
        owner = ::getpid();
    }
    return *workers;
}

// The interrupt raised after a change that ran to its end, saying what the change did.
[[noreturn]] void RaiseAfterChange(py::error_already_set& stop, const Call& call) {
    std::string note;
    if (const auto failure = call.Failure()) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            note = std::string("qdl4816: the change was under way and then failed: ") + error.what();
        }
    } else {
        note = "qdl4816: the change was under way and ran to its end: " + call.Outcome();
    }
    const py::object value = stop.value();
    if (py::hasattr(value, "add_note"))
        value.attr("add_note")(note);
    throw stop;
}

} // namespace

void RunAndWait(std::shared_ptr<Call> call, std::function<void()> job) {
    Workers().Run([call, job = std::move(job)] {
        try {
            job();
            call->Finish(nullptr);
        } catch (...) {
            call->Finish(std::current_exception());
        }
    });
    std::optional<py::error_already_set> stop;
    for (;;) {
        bool done = false;
        {
            py::gil_scoped_release released;
            done = call->WaitDone(SignalCheck);
        }
        if (done)
            break;
        if (PyErr_CheckSignals() == 0)
            continue;
        py::error_already_set raised;
        if (stop || !call->Interrupt())
            throw raised;
        stop.emplace(std::move(raised));
    }
    if (stop)
        RaiseAfterChange(*stop, *call);
    if (const auto failure = call->Failure())
        std::rethrow_exception(failure);
}

} // namespace qdl::python
