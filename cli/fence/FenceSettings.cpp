#include "FenceSettings.h"

#include "Arguments.h"
#include "Conversions.h"
#include "FenceFailure.h"
#include "TextUtil.h"

#include <algorithm>

namespace qdl::cli::fence {
namespace {

using std::chrono::milliseconds;

std::optional<std::string> Value(const Given& given, const char* key) {
    const auto found = given.Values.find(key);
    return found == given.Values.end() ? std::nullopt : std::optional(found->second);
}

std::string ValueOr(const Given& given, const char* key, const char* fallback) {
    return Value(given, key).value_or(fallback);
}

const Parameter& ParameterOf(const char* key) {
    for (const Parameter& p : Parameters())
        if (std::string(p.Key) == key)
            return p;
    throw FenceFailure(std::string("no parameter ") + key);
}

milliseconds Seconds(const Given& given, const char* key) {
    const Parameter& parameter = ParameterOf(key);
    const std::string text = ValueOr(given, key, parameter.Default);
    if (const auto seconds = SecondsIn(text, 86400))
        return *seconds;
    throw FenceFailure(
        Format("Failed: The value you have entered for --%s is not a valid time in seconds ('%s').",
               parameter.LongName, text.c_str()));
}

int Integer(const Given& given, const char* key, int least, int most) {
    const Parameter& parameter = ParameterOf(key);
    const std::string text = ValueOr(given, key, parameter.Default ? parameter.Default : "0");
    const auto value = TryStrToInt(text);
    if (!value || *value < least || *value > most ||
        text.find_first_not_of("0123456789") != std::string::npos)
        throw FenceFailure(
            Format("Failed: The value you have entered for --%s is not a valid integer from %d to "
                   "%d ('%s').",
                   parameter.LongName, least, most, text.c_str()));
    return *value;
}

bool NeedsPlug(const std::string& action) {
    return action == "on" || action == "off" || action == "reboot" || action == "status";
}

std::vector<int> ReadPlugs(const std::string& text, const std::string& separator) {
    std::vector<int> plugs;
    std::size_t start = 0;
    for (;;) {
        const auto end = separator.empty() ? std::string::npos : text.find(separator, start);
        const std::string plug = Trim(text.substr(start, end == std::string::npos ? end : end - start));
        if (plug.size() != 1 || plug[0] < '1' || plug[0] > '4')
            throw FenceFailure(Format("Failed: plug '%s' is no outlet of the switch: the outlets are 1 to 4.",
                                      plug.c_str()));
        if (std::find(plugs.begin(), plugs.end(), plug[0] - '0') == plugs.end())
            plugs.push_back(plug[0] - '0');
        if (end == std::string::npos)
            return plugs;
        start = end + separator.size();
    }
}

bool IsTrue(const std::string& value) {
    const std::string lower = LowerCase(value);
    return lower == "1" || lower == "yes" || lower == "on" || lower == "true";
}

} // namespace

const std::vector<std::string>& Actions() {
    static const std::vector<std::string> actions{"on",          "off",     "reboot",   "status",      "list",
                                                  "list-status", "monitor", "metadata", "validate-all"};
    return actions;
}

std::string ActionOf(const Given& given) {
    std::string action = LowerCase(ValueOr(given, "action", "reboot"));
    if (action == "meta-data")
        action = "metadata";
    if (std::find(Actions().begin(), Actions().end(), action) == Actions().end())
        throw FenceFailure(Format("Failed: Unrecognised action '%s'", action.c_str()));
    return action;
}

FenceSettings Settle(const Given& given, bool fromPacemaker) {
    FenceSettings settings;
    settings.Action = ActionOf(given);
    settings.Quiet = Value(given, "quiet").has_value();
    settings.DebugFile = Value(given, "debug");
    settings.VerboseLevel =
        Value(given, "verbose_level") ? Integer(given, "verbose_level", 0, 1000) : given.VerboseCount;

    settings.Address = Trim(ValueOr(given, "ipaddr", ""));
    if (settings.Address.empty())
        throw FenceFailure("Failed: You have to enter fence address: give ip (-a, --ip).");
    settings.Port = std::to_string(Integer(given, "ipport", 1, 65535));
    settings.UserName = ValueOr(given, "login", "admin");
    settings.Password = Value(given, "passwd");
    settings.PasswordScript = Value(given, "passwd_script");
    if (!settings.Password && !settings.PasswordScript)
        throw FenceFailure("Failed: You have to enter password or password script: give password (-p, "
                           "--password) or password_script (-S, --password-script).");

    const std::string plugSeparator = ValueOr(given, "plug_separator", ",");
    if (const auto plug = Value(given, "port"))
        settings.Plugs = ReadPlugs(*plug, plugSeparator);
    else if (NeedsPlug(settings.Action))
        throw FenceFailure(
            Format("Failed: You have to enter plug number: the action %s needs plug (-n, --plug), "
                   "an outlet from 1 to 4.",
                   settings.Action.c_str()));
    settings.Separator = ValueOr(given, "separator", ",");

    settings.Delay = Seconds(given, "delay");
    settings.PowerWait = Seconds(given, "power_wait");
    settings.Settle = Seconds(given, "settle");
    settings.StatusSleep = Seconds(given, "stonith_status_sleep");
    settings.PowerTimeout = Seconds(given, "power_timeout");
    if (Value(given, "stonith_timeout"))
        settings.ActionTimeout = Seconds(given, "stonith_timeout");
    Seconds(given, "login_timeout");
    Seconds(given, "shell_timeout");
    settings.RetryOn = Integer(given, "retry_on", 0, 1000);
    const auto disable = Value(given, "disable_timeout");
    if ((disable && IsTrue(*disable)) || (!disable && fromPacemaker) ||
        settings.PowerTimeout == milliseconds(0))
        settings.PowerTimeout.reset();
    return settings;
}

std::optional<milliseconds> WorstCase(const FenceSettings& settings, const std::string& action) {
    if (!settings.PowerTimeout)
        return std::nullopt;
    const milliseconds attempt = settings.PowerWait + *settings.PowerTimeout + settings.Settle;
    if (action == "on")
        return attempt * (1 + settings.RetryOn);
    const milliseconds off = settings.Delay + attempt;
    return action == "reboot" ? off + attempt * settings.RetryOn : off;
}

void RequireFitsActionTimeout(const FenceSettings& settings) {
    if (!settings.ActionTimeout)
        return;
    const auto seconds = [](milliseconds time) { return time.count() / 1000.0; };
    for (const char* action : {"off", "reboot", "on"}) {
        const auto worst = WorstCase(settings, action);
        if (worst && *worst > *settings.ActionTimeout)
            throw FenceFailure(Format(
                "Failed: %s may take up to %g s (delay %g s, then power_wait %g s + power_timeout %g s + "
                "settle %g s per attempt, retry_on %d), more than stonith_timeout %g s allows: lower "
                "power_timeout or raise the cluster's timeout for it.",
                action, seconds(*worst),
                seconds(std::string(action) == "on" ? milliseconds(0) : settings.Delay),
                seconds(settings.PowerWait), seconds(*settings.PowerTimeout), seconds(settings.Settle),
                settings.RetryOn, seconds(*settings.ActionTimeout)));
    }
}

} // namespace qdl::cli::fence
