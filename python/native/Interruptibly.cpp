#include "Interruptibly.h"

#include "Failures.h"

namespace qdl::python {

namespace py = pybind11;

bool PythonStops::Signalled() {
    py::gil_scoped_acquire acquired;
    if (PyErr_CheckSignals() == 0)
        return false;
    kept_.reset();
    kept_.emplace();
    return true;
}

void PythonStops::Raise(const Call& call, const std::exception_ptr& failure) {
    std::string note;
    if (call.Wrote()) {
        try {
            if (failure)
                std::rethrow_exception(failure);
            note = "qdl4816: the change was under way and ran to its end: " + call.Outcome();
        } catch (const control::Failure& error) {
            note = error.Kind() == control::FailureKind::Interrupted
                       ? "qdl4816: stopped at once by a second stop while the change was under way; "
                         "the switch may show it only in part"
                       : std::string("qdl4816: the change was under way and then failed: ") + error.what();
        } catch (const std::exception& error) {
            note = std::string("qdl4816: the change was under way and then failed: ") + error.what();
        }
    }
    const py::object value = kept_->value();
    if (!note.empty() && py::hasattr(value, "add_note"))
        value.attr("add_note")(note);
    throw *kept_;
}

} // namespace qdl::python
