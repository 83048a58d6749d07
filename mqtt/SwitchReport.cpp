#include "SwitchReport.h"

#include "ServiceLog.h"
#include "TextUtil.h"

#include <nlohmann/json.hpp>

namespace qdl::mqtt {
namespace {

using control::Field;
using control::Log;
using control::LogLevel;

// A reason as long as a hub shows one; a longer one is cut at a character's end.
constexpr std::size_t MostReason = 400;

} // namespace

SwitchReport::SwitchReport(Broker& broker, std::string name, std::string topic)
    : broker_(broker), name_(std::move(name)), topic_(std::move(topic)) {}

void SwitchReport::Shows(const control::OutletStates& states) {
    std::lock_guard<std::mutex> lock(mutex_);
    SetOnline(true);
    logged_.clear();
    for (int outlet = 1; outlet <= control::OutletCount; ++outlet) {
        const bool on = states[static_cast<std::size_t>(outlet - 1)];
        if (!shown_ || (*shown_)[static_cast<std::size_t>(outlet - 1)] != on)
            PublishState(outlet, on);
    }
    shown_ = states;
}

void SwitchReport::Failed(const std::optional<int>& outlet, const std::string& kind, const std::string& message,
                          bool offline) {
    const std::string reason = Utf8Printable(message, MostReason);
    nlohmann::json error{{"kind", kind}, {"message", reason}};
    if (outlet)
        error["outlet"] = *outlet;
    std::lock_guard<std::mutex> lock(mutex_);
    if (offline)
        SetOnline(false);
    broker_.Publish(topic_ + "/error", error.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), false);
    const std::string fields = Field("switch", name_) +
                               (outlet ? " " + Field("outlet", std::to_string(*outlet)) : "") + " " +
                               Field("kind", kind) + " " + Field("reason", reason);
    if (std::exchange(logged_, fields) != fields)
        Log(LogLevel::Warn, outlet ? "A command failed" : "The switch cannot be read", fields);
}

void SwitchReport::Republish() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (online_)
        broker_.Publish(topic_ + "/availability", *online_ ? "online" : "offline", true);
    if (shown_)
        for (int outlet = 1; outlet <= control::OutletCount; ++outlet)
            PublishState(outlet, (*shown_)[static_cast<std::size_t>(outlet - 1)]);
}

void SwitchReport::SetOnline(bool online) {
    if (online_ == online)
        return;
    online_ = online;
    broker_.Publish(topic_ + "/availability", online ? "online" : "offline", true);
    Log(online ? LogLevel::Info : LogLevel::Warn, online ? "Switch online" : "Switch offline",
        Field("switch", name_));
}

void SwitchReport::PublishState(int outlet, bool on) {
    broker_.Publish(topic_ + "/outlet/" + std::to_string(outlet) + "/state", on ? "ON" : "OFF", true);
}

} // namespace qdl::mqtt
