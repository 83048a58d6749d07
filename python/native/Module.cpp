// The native half of the Python package qdl4816: a switch's connection (Target) and qdlctl's
// operations on it, each run by Interruptibly so that the GIL is free and Ctrl-C is heard; the
// package's Python half makes outlets and schedule entries of what these return.
#include "ConnectionSource.h"
#include "Console.h"
#include "Failures.h"
#include "Interruptibly.h"
#include "SwitchOperations.h"
#include "SwitchesFile.h"
#include "TextUtil.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <map>

namespace qdl::python {
namespace {

namespace py = pybind11;
using control::FailureKind;
using control::OutletStates;
using control::ScheduleEntry;
using control::SwitchTarget;

using StatesTuple = std::tuple<bool, bool, bool, bool>;
// slot, year, month, day, hour, minute, second, repeat name, on, repeat code
using EntryTuple = std::tuple<std::string, int, int, int, int, int, int, std::string, bool, int>;

StatesTuple AsTuple(const OutletStates& states) {
    return {states[0], states[1], states[2], states[3]};
}

EntryTuple AsTuple(const ScheduleEntry& entry) {
    return {entry.Slot,      entry.Day.Year,
            entry.Day.Month, entry.Day.Day,
            entry.At.Hour,   entry.At.Minute,
            entry.At.Second, control::RepeatNames.at(static_cast<std::size_t>(entry.Repeat)),
            entry.On,        entry.Code};
}

std::vector<EntryTuple> AsTuples(const std::vector<ScheduleEntry>& entries) {
    std::vector<EntryTuple> tuples;
    for (const auto& entry : entries)
        tuples.push_back(AsTuple(entry));
    return tuples;
}

// The package's exception classes by kind, from qdl4816.errors.
py::object ErrorClass(FailureKind kind) {
    static const auto* classes = [] {
        auto* found = new std::map<FailureKind, py::object>;
        const py::module_ errors = py::module_::import("qdl4816.errors");
        for (const auto& [kind, name] : std::initializer_list<std::pair<FailureKind, const char*>>{
                 {FailureKind::Usage, "UsageError"},
                 {FailureKind::Config, "ConfigError"},
                 {FailureKind::Refused, "RefusedError"},
                 {FailureKind::Unreachable, "UnreachableError"},
                 {FailureKind::Timeout, "TimeoutError"},
                 {FailureKind::Auth, "AuthError"},
                 {FailureKind::Http, "HttpError"},
                 {FailureKind::Protocol, "ProtocolError"},
                 {FailureKind::Check, "CheckError"},
                 {FailureKind::Interrupted, "Error"}})
            (*found)[kind] = errors.attr(name);
        return found;
    }();
    return classes->at(kind);
}

// The failure as the package's exception of its kind, with qdlctl's message and the switch's
// address; what the switch showed instead rides along on a CheckError.
[[noreturn]] void Raise(const control::Failure& failure, const std::string& address) {
    py::object shown = py::none();
    if (const auto* outlets = dynamic_cast<const control::OutletCheckFailed*>(&failure))
        shown = py::cast(AsTuple(outlets->Shown));
    else if (const auto* entries = dynamic_cast<const control::ScheduleCheckFailed*>(&failure))
        shown = py::cast(AsTuples(entries->Shown));
    const py::object error = ErrorClass(failure.Kind())(
        failure.what(), address.empty() ? py::none() : py::cast(address), failure.HttpStatus(), shown);
    PyErr_SetObject(error.get_type().ptr(), error.ptr());
    throw py::error_already_set();
}

// Runs an operation for Python: its failures become the package's exceptions.
template <typename Result>
Result Guarded(const std::string& address, const std::function<Result()>& operation) {
    try {
        return operation();
    } catch (const control::Failure& failure) {
        Raise(failure, address);
    }
}

std::chrono::milliseconds Milliseconds(double seconds, const char* name, double least, double most) {
    if (!std::isfinite(seconds) || seconds < least || seconds > most)
        throw control::UsageError(
            Format("%s=%g is not a number of seconds from %g to %g.", name, seconds, least, most));
    return std::chrono::milliseconds(std::llround(seconds * 1000));
}

// qdlctl's --timeout: a whole reply, and the wait for the switch's lock.
void SetTimeout(SwitchTarget& target, double seconds) {
    target.ReadTimeout = target.LockTimeout = Milliseconds(seconds, "timeout", 0.1, 30);
}

// The switch named directly, as qdlctl --host names it without a settings file: the password
// given, else $QDL4816_PASSWORD, else the switch's factory password.
SwitchTarget Direct(const std::string& host, int port, const std::string& user,
                    const std::optional<std::string>& password, double timeout) {
    if (Trim(host).empty())
        throw control::UsageError("host is empty: give the switch's address.");
    if (port < 1 || port > 65535)
        throw control::UsageError(
            Format("port=%d is not a TCP port: give a whole number from 1 to 65535.", port));
    control::ConnectionTexts texts;
    texts.Address = host;
    texts.Port = std::to_string(port);
    texts.UserName = user;
    const auto environment = platform::EnvironmentValue("QDL4816_PASSWORD");
    if (password)
        texts.Password = *password;
    else if (environment && !environment->empty())
        texts.Password = *environment;
    SwitchTarget target = control::TargetOf(texts);
    SetTimeout(target, timeout);
    return target;
}

// A settings file as qdlctl --config reads it (section QDL4816; without a path ./QDL4816.ini,
// then the user's own), or with `switchName` a section of a switches file as the exporter and
// the MQTT bridge read it, with its outlet names.
std::pair<SwitchTarget, std::map<int, std::string>> FromConfig(const std::optional<std::string>& path,
                                                               const std::optional<std::string>& switchName,
                                                               double timeout) {
    SwitchTarget target;
    std::map<int, std::string> names;
    if (switchName) {
        if (!path)
            throw control::UsageError("switch= names a section of a switches file: give its path too.");
        const control::SwitchesFile file = control::SwitchesFile::Read(*path, {"mqtt"});
        const control::SwitchEntry* entry = file.Find(*switchName);
        if (!entry)
            throw control::ConfigError(Format("%s has no switch [%s].", path->c_str(), switchName->c_str()));
        target = entry->Target;
        names = entry->OutletNames;
    } else {
        control::ConnectionRequest request;
        request.ConfigFile = path;
        request.EnvironmentPassword = platform::EnvironmentValue("QDL4816_PASSWORD");
        target = control::TargetOf(control::ResolveConnection(request));
    }
    SetTimeout(target, timeout);
    return {target, names};
}

ScheduleEntry EntryOf(const EntryTuple& tuple) {
    const auto& [slot, year, month, day, hour, minute, second, repeat, on, code] = tuple;
    (void)code; // the device's code follows from the repeat mode
    control::RequireSlot(slot);
    ScheduleEntry entry;
    entry.Slot = slot;
    entry.Day = control::ParseIsoDate(Format("%04d-%02d-%02d", year, month, day));
    entry.At = control::ParseIsoTime(Format("%02d:%02d:%02d", hour, minute, second));
    entry.Repeat = control::ParseRepeatName(repeat);
    entry.On = on;
    return entry;
}

// Entries to write: each slot once, every one checked before anything is sent.
std::vector<ScheduleEntry> EntriesOf(const std::vector<EntryTuple>& tuples) {
    if (tuples.empty() || tuples.size() > control::ScheduleSlots.size())
        throw control::UsageError(Format("set_schedule takes 1 to 8 entries, not %zu.", tuples.size()));
    std::vector<ScheduleEntry> entries;
    for (const auto& tuple : tuples) {
        entries.push_back(EntryOf(tuple));
        for (std::size_t i = 0; i + 1 < entries.size(); ++i)
            if (entries[i].Slot == entries.back().Slot)
                throw control::UsageError("Schedule entry " + entries.back().Slot + " is given twice.");
    }
    return entries;
}

std::vector<int> OutletList(const std::vector<int>& outlets, const char* operation) {
    if (outlets.empty())
        throw control::UsageError(Format("%s needs the outlets, 1 to 4.", operation));
    std::vector<int> checked;
    for (int outlet : outlets) {
        control::RequireOutlet(outlet);
        if (std::find(checked.begin(), checked.end(), outlet) != checked.end())
            throw control::UsageError(Format("Outlet %d is named twice.", outlet));
        checked.push_back(outlet);
    }
    return checked;
}

void Bind(py::module_& module) {
    py::class_<SwitchTarget>(module, "Target", "A switch's address, credentials and time limits.")
        .def_static(
            "direct",
            [](const std::string& host, int port, const std::string& user,
               const std::optional<std::string>& password, double timeout) {
                return Guarded<SwitchTarget>("", [&] { return Direct(host, port, user, password, timeout); });
            },
            py::arg("host"), py::arg("port"), py::arg("user"), py::arg("password"), py::arg("timeout"))
        .def_static(
            "from_config",
            [](const std::optional<std::string>& path, const std::optional<std::string>& switchName,
               double timeout) {
                using Found = std::pair<SwitchTarget, std::map<int, std::string>>;
                return Guarded<Found>("", [&] { return FromConfig(path, switchName, timeout); });
            },
            py::arg("path"), py::arg("switch"), py::arg("timeout"))
        .def_property_readonly("address", &SwitchTarget::Name)
        .def_property_readonly("host", [](const SwitchTarget& target) { return target.Host; })
        .def_property_readonly("port", [](const SwitchTarget& target) { return target.Port; })
        .def_property_readonly("user", [](const SwitchTarget& target) { return target.UserName; })
        .def_property_readonly(
            "timeout",
            [](const SwitchTarget& target) { return static_cast<double>(target.ReadTimeout.count()) / 1000; })
        .def("outlets",
             [](const SwitchTarget& target) {
                 return Guarded<StatesTuple>(target.Name(), [&] {
                     return AsTuple(Interruptibly<OutletStates>(
                         [target](Call& call) { return ReadOutlets(target, call); }));
                 });
             })
        .def(
            "change",
            [](const SwitchTarget& target, const std::map<int, bool>& changes) {
                return Guarded<StatesTuple>(target.Name(), [&] {
                    for (const auto& change : changes)
                        control::RequireOutlet(change.first);
                    if (changes.empty())
                        throw control::UsageError("Name the outlets to switch, 1 to 4.");
                    return AsTuple(Interruptibly<OutletStates>(
                        [target, changes](Call& call) { return ChangeOutlets(target, call, changes); }));
                });
            },
            py::arg("changes"))
        .def(
            "cycle",
            [](const SwitchTarget& target, const std::vector<int>& outlets, double offSeconds) {
                return Guarded<StatesTuple>(target.Name(), [&] {
                    const auto checked = OutletList(outlets, "cycle");
                    const auto offTime = Milliseconds(offSeconds, "off_seconds", 0, 3600);
                    return AsTuple(Interruptibly<OutletStates>([target, checked, offTime](Call& call) {
                        return CycleOutlets(target, call, checked, offTime);
                    }));
                });
            },
            py::arg("outlets"), py::arg("off_seconds"))
        .def("schedule",
             [](const SwitchTarget& target) {
                 return Guarded<std::vector<EntryTuple>>(target.Name(), [&] {
                     return AsTuples(Interruptibly<std::vector<ScheduleEntry>>(
                         [target](Call& call) { return ReadSchedule(target, call); }));
                 });
             })
        .def(
            "set_schedule",
            [](const SwitchTarget& target, const std::vector<EntryTuple>& tuples) {
                return Guarded<std::vector<EntryTuple>>(target.Name(), [&] {
                    const auto entries = EntriesOf(tuples);
                    return AsTuples(Interruptibly<std::vector<ScheduleEntry>>(
                        [target, entries](Call& call) { return WriteSchedule(target, call, entries); }));
                });
            },
            py::arg("entries"));
}

} // namespace
} // namespace qdl::python

PYBIND11_MODULE(_native, module) {
    module.doc() = "The native half of qdl4816: qdlctl's operations on a switch. Use qdl4816.Switch.";
    module.attr("__version__") = QDL_VERSION;
    qdl::python::Bind(module);
}
