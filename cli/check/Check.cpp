#include "Check.h"

#include "Outlets.h"
#include "Range.h"
#include "StopRequests.h"
#include "TextUtil.h"

#include <chrono>
#include <optional>

namespace qdl::cli {
namespace {

using namespace control;

const char* const StatusNames[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

std::optional<Range> RangeOf(const std::string& text, const char* option) {
    return text.empty() ? std::nullopt : std::optional(Range::Parse(text, option));
}

// "1=on,2=off" -> the wanted state by outlet.
OutletChanges ExpectedStates(const std::string& text) {
    OutletChanges expected;
    std::size_t start = 0;
    while (!text.empty() && start <= text.size()) {
        const auto end = std::min(text.find(',', start), text.size());
        const std::string item = Trim(text.substr(start, end - start));
        const auto equals = item.find('=');
        const std::string state = equals == std::string::npos ? std::string() : item.substr(equals + 1);
        if (equals != 1 || item[0] < '1' || item[0] > '4' || (state != "on" && state != "off") ||
            expected.count(item[0] - '0'))
            throw UsageError(
                Format("--expect '%s' is no list of outlet states: write 1=on,2=off, each outlet "
                       "1 to 4 once.",
                       text.c_str()));
        expected[item[0] - '0'] = state == "on";
        start = end + 1;
    }
    return expected;
}

std::string PerformanceData(double seconds, const CheckRequest& request, const OutletStates& states) {
    int on = 0;
    std::string outlets;
    for (int outlet = 1; outlet <= OutletCount; ++outlet) {
        const bool isOn = states[static_cast<std::size_t>(outlet - 1)];
        on += isOn ? 1 : 0;
        outlets += Format(" outlet%d=%d;;;0;1", outlet, isOn ? 1 : 0);
    }
    return Format("time=%.6fs;%s;%s;0; outlets_on=%d;;;0;4", seconds, request.Warning.c_str(),
                  request.Critical.c_str(), on) +
           outlets;
}

std::string StatesText(const OutletStates& states) {
    std::string text;
    for (int outlet = 1; outlet <= OutletCount; ++outlet)
        text += Format("%s%d %s", outlet == 1 ? "" : ", ", outlet,
                       states[static_cast<std::size_t>(outlet - 1)] ? "on" : "off");
    return "outlets " + text;
}

std::string Line(int status, const std::string& text, const std::string& performance = "") {
    return "QDL4816 " + std::string(StatusNames[status]) + " - " + text +
           (performance.empty() ? "" : " | " + performance) + "\n";
}

void PrintLine(std::ostream& out, int status, const std::string& text, const std::string& performance = "") {
    out << Line(status, text, performance);
}

} // namespace

void RequireValidCheck(const CheckRequest& request) {
    RangeOf(request.Warning, "--warning");
    RangeOf(request.Critical, "--critical");
    ExpectedStates(request.Expect);
}

int RunCheck(const SwitchTarget& target, const CheckRequest& request, std::ostream& out) {
    const auto warning = RangeOf(request.Warning, "--warning");
    const auto critical = RangeOf(request.Critical, "--critical");
    const OutletChanges expected = ExpectedStates(request.Expect);
    SwitchSession session(target);
    const auto started = std::chrono::steady_clock::now();
    const OutletStates states = ReadOutlets(session);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    int status = PluginOk;
    std::string findings;
    for (const auto& [outlet, on] : expected)
        if (states[static_cast<std::size_t>(outlet - 1)] != on) {
            status = PluginCritical;
            findings += Format("outlet %d is %s, not %s; ", outlet, on ? "off" : "on", on ? "on" : "off");
        }
    if (critical && critical->Alerts(seconds)) {
        status = PluginCritical;
        findings += Format("response time %.3f s outside %s; ", seconds, critical->Text().c_str());
    } else if (warning && warning->Alerts(seconds)) {
        status = std::max(status, static_cast<int>(PluginWarning));
        findings += Format("response time %.3f s outside %s; ", seconds, warning->Text().c_str());
    }
    PrintLine(out, status,
              findings + Format("%s answered in %.3f s: %s", target.Name().c_str(), seconds,
                                StatesText(states).c_str()),
              PerformanceData(seconds, request, states));
    return Delivered(out, status);
}

int ReportCheckFailure(const std::exception& failure, std::ostream& out) {
    const auto* known = dynamic_cast<const Failure*>(&failure);
    const bool callers =
        known && (known->Kind() == FailureKind::Usage || known->Kind() == FailureKind::Config);
    const int status = callers ? PluginUnknown : PluginCritical;
    std::string text = failure.what();
    for (char& c : text)
        if (c == '|' || c == '\n')
            c = c == '|' ? '/' : ' ';
    PrintLine(out, status, text);
    return Delivered(out, status);
}

void SetCheckStopLine(const std::optional<SwitchTarget>& target) {
    const std::string line = Line(
        PluginUnknown, target ? Format("Stopped by a signal before %s was checked", target->Name().c_str())
                              : std::string("Stopped by a signal before the switch was checked"));
    platform::stops::SetLines(line, line, {true, PluginUnknown});
}

int Delivered(std::ostream& out, int status) {
    out.flush();
    return out ? status : PluginUnknown;
}

} // namespace qdl::cli
