#include "Metrics.h"

#include "DeviceFailure.h"
#include "Failures.h"
#include "SwitchSession.h"
#include "TextUtil.h"

#include <algorithm>
#include <cerrno>
#include <sstream>

namespace qdl::control {
namespace {

using Clock = std::chrono::steady_clock;

// A session for one exchange that ends by the deadline: the connection takes what it needs of
// the time left, and the reply has the rest; nothing is set aside for a connection that was quick.
SwitchSession SessionUntil(SwitchTarget target, Clock::time_point deadline) {
    if (deadline <= Clock::now())
        throw Failure(FailureKind::Timeout, Format("%s: the probe's time ran out.", target.Name().c_str()));
    target.Deadline = deadline;
    return SwitchSession(target);
}

// The repeat modes' days, Monday first, as the switch's codes mark them.
bool FiresOn(int repeat, int weekday) {
    switch (repeat) {
    case 2:
        return true;
    case 3:
        return weekday < 5;
    case 4:
        return weekday >= 5;
    default:
        return false;
    }
}

std::time_t LocalTime(const Date& day, const Time& at, int daysLater) {
    std::tm moment{};
    moment.tm_year = day.Year - 1900;
    moment.tm_mon = day.Month - 1;
    moment.tm_mday = day.Day + daysLater;
    moment.tm_hour = at.Hour;
    moment.tm_min = at.Minute;
    moment.tm_sec = at.Second;
    moment.tm_isdst = -1;
    return std::mktime(&moment);
}

// Monday 0 ... Sunday 6 of a local time.
int WeekdayOf(std::time_t time) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &time);
#else
    localtime_r(&time, &local);
#endif
    return (local.tm_wday + 6) % 7;
}

// One metric family: its HELP and TYPE once, then its samples, each with the labels every series
// of the exposition carries.
class Family {
public:
    Family(std::ostringstream& out, const std::string& common, const char* name, const char* type,
           const char* help)
        : out_(out), common_(common), name_(name) {
        out_ << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
    }
    void Sample(const std::string& labels, double value) {
        const std::string all = labels.empty() ? common_ : common_.empty() ? labels : labels + "," + common_;
        out_ << name_ << (all.empty() ? "" : "{" + all + "}") << ' ' << Number(value) << '\n';
    }
    static std::string Number(double value) {
        std::ostringstream text;
        text.precision(15);
        text << value;
        return text.str();
    }

private:
    std::ostringstream& out_;
    const std::string& common_;
    const char* name_;
};

std::string Label(const char* name, const std::string& value) {
    return std::string(name) + "=\"" + LabelValue(value) + "\"";
}

// A socket that could not even be made (no descriptor or buffer left): the prober's own
// shortage, which says nothing about the switch.
bool IsOwnShortage(const std::exception& thrown) {
    const auto* device = dynamic_cast<const DeviceFailure*>(&thrown);
    if (!device)
        return false;
    constexpr int NoDescriptors = 10024, NoBuffers = 10055;
    return device->Code() == NoDescriptors || device->Code() == NoBuffers || device->Code() == ENFILE;
}

} // namespace

ProbeResult ProbeSwitch(const SwitchTarget& target, const ProbeRequest& request) {
    ProbeResult result;
    const auto started = Clock::now();
    try {
        {
            SwitchSession session = SessionUntil(target, request.Deadline);
            result.Outlets = ReadOutlets(session);
        }
        if (request.Schedule)
            for (const auto& slot : ScheduleSlots) {
                SwitchSession session = SessionUntil(target, request.Deadline);
                result.Schedule.push_back(ReadEntry(session, slot));
            }
        result.Up = true;
    } catch (const std::exception& thrown) {
        const Failure failure = AsFailure(thrown, target);
        result = ProbeResult{};
        result.Kind = failure.Kind();
        result.FailureKind = IsOwnShortage(thrown) ? "exporter" : KindName(failure.Kind());
        result.Message = IsOwnShortage(thrown) ? Format("%s: no socket could be made for it here: %s",
                                                        target.Name().c_str(), thrown.what())
                                               : failure.what();
        result.HttpStatus = failure.HttpStatus();
    }
    result.DurationSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    return result;
}

std::optional<std::time_t> NextFiring(const ScheduleEntry& entry, std::time_t now) {
    const std::time_t first = LocalTime(entry.Day, entry.At, 0);
    if (entry.Repeat == 1)
        return first >= now ? std::optional(first) : std::nullopt;
    if (entry.Repeat < 2 || entry.Repeat > 4 || first == static_cast<std::time_t>(-1))
        return std::nullopt;
    // From the later of the entry's own day and today, the first day of its mode.
    const int daysToToday = static_cast<int>(std::max<std::time_t>(0, (now - first) / 86400));
    for (int day = std::max(0, daysToToday - 1); day <= daysToToday + 8; ++day) {
        const std::time_t candidate = LocalTime(entry.Day, entry.At, day);
        if (candidate >= now && FiresOn(entry.Repeat, WeekdayOf(candidate)))
            return candidate;
    }
    return std::nullopt;
}

std::string LabelValue(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

std::string ProbeExposition(const ProbeResult& result, const ProbeRequest& request, std::time_t now) {
    std::ostringstream out;
    const std::string common =
        request.SwitchLabel.empty() ? std::string() : Label("switch", request.SwitchLabel);
    Family(out, common, "qdl4816_up", "gauge",
           "Whether all four outlets of the switch were read (1) or the probe failed (0).")
        .Sample("", result.Up ? 1 : 0);
    if (!result.Up)
        Family(out, common, "qdl4816_probe_failure", "gauge",
               "Why the probe failed, by kind; 1 for the kind that happened.")
            .Sample(Label("kind", result.FailureKind), 1);
    if (result.HttpStatus != 0)
        Family(out, common, "qdl4816_probe_http_status", "gauge",
               "The HTTP status the switch answered where the probe failed on it.")
            .Sample("", result.HttpStatus);
    Family(out, common, "qdl4816_probe_duration_seconds", "gauge", "How long the probe of the switch took.")
        .Sample("", result.DurationSeconds);
    if (!result.Up)
        return out.str();
    Family outlets(out, common, "qdl4816_outlet_on", "gauge",
                   "Whether the outlet is switched on (1) or off (0).");
    for (int outlet = 1; outlet <= OutletCount; ++outlet) {
        std::string labels = Label("outlet", std::to_string(outlet));
        if (const auto name = request.OutletNames.find(outlet); name != request.OutletNames.end())
            labels += "," + Label("name", name->second);
        outlets.Sample(labels, result.Outlets[static_cast<std::size_t>(outlet - 1)] ? 1 : 0);
    }
    if (result.Schedule.empty())
        return out.str();
    const auto entryLabels = [](const ScheduleEntry& entry) {
        return Label("slot", entry.Slot) + "," + Label("outlet", std::to_string(entry.Outlet())) + "," +
               Label("repeat", RepeatNames[static_cast<std::size_t>(entry.Repeat)]);
    };
    Family enabled(out, common, "qdl4816_schedule_entry_enabled", "gauge",
                   "Whether the schedule entry is enabled (1) or its repeat mode is disable (0).");
    for (const auto& entry : result.Schedule)
        enabled.Sample(entryLabels(entry), entry.Repeat != 0 ? 1 : 0);
    Family switchesOn(out, common, "qdl4816_schedule_entry_switches_on", "gauge",
                      "Whether the schedule entry switches its outlet on (1) or off (0).");
    for (const auto& entry : result.Schedule)
        switchesOn.Sample(entryLabels(entry), entry.On ? 1 : 0);
    Family next(out, common, "qdl4816_schedule_entry_next_timestamp_seconds", "gauge",
                "When the schedule entry next fires, as a Unix time read in the exporter's time zone; absent "
                "where it will not fire.");
    for (const auto& entry : result.Schedule)
        if (const auto when = NextFiring(entry, now))
            next.Sample(entryLabels(entry), static_cast<double>(*when));
    return out.str();
}

} // namespace qdl::control
