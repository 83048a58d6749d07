#include "Failures.h"

#include "DeviceFailure.h"
#include "SocketError.h"
#include "StopCheck.h"
#include "SwitchTarget.h"
#include "TextUtil.h"

namespace qdl::control {
namespace {

// "Socket Error # 10051\nNetwork is unreachable." -> "Network is unreachable"
std::string SocketText(const std::string& message) {
    const auto lineBreak = message.find('\n');
    std::string text = lineBreak == std::string::npos ? std::string() : message.substr(lineBreak + 1);
    while (!text.empty() && text.back() == '.')
        text.pop_back();
    return text.empty() ? "unknown socket error" : text;
}

std::string Seconds(std::chrono::milliseconds time) {
    return time.count() % 1000 == 0 ? Format("%lld s", static_cast<long long>(time.count() / 1000))
                                    : Format("%lld ms", static_cast<long long>(time.count()));
}

std::string Unreachable(const DeviceFailure& failure, const SwitchTarget& target) {
    const std::string text = SocketText(failure.what());
    if (failure.Code() >= HostNotFound)
        return Format("The address '%s' cannot be resolved: %s (socket error %d).", target.Host.c_str(),
                      text.c_str(), failure.Code());
    return Format("%s cannot be reached: %s (socket error %d).", target.Name().c_str(), text.c_str(),
                  failure.Code());
}

std::string TimedOut(const DeviceFailure& failure, const SwitchTarget& target) {
    if (failure.Code() != 0)
        return Format("%s did not answer the connection: %s (socket error %d).", target.Name().c_str(),
                      SocketText(failure.what()).c_str(), failure.Code());
    if (std::string(failure.what()) == "Read Timeout")
        return Format("%s did not send its whole reply within %s.", target.Name().c_str(),
                      Seconds(target.ReadTimeout).c_str());
    return Format("%s did not accept a connection within 1000 ms.", target.Name().c_str());
}

std::string Unreadable(const DeviceFailure& failure, const SwitchTarget& target) {
    if (failure.Code() != 0)
        return Format("%s broke off the exchange: %s (socket error %d).", target.Name().c_str(),
                      SocketText(failure.what()).c_str(), failure.Code());
    return Format("%s sent a reply that cannot be read: %s", target.Name().c_str(),
                  failure.English().c_str());
}

} // namespace

const char* KindName(FailureKind kind) {
    switch (kind) {
    case FailureKind::Usage:
        return "usage";
    case FailureKind::Config:
        return "config";
    case FailureKind::Refused:
        return "refused";
    case FailureKind::Unreachable:
        return "unreachable";
    case FailureKind::Timeout:
        return "timeout";
    case FailureKind::Auth:
        return "auth";
    case FailureKind::Http:
        return "http";
    case FailureKind::Protocol:
        return "protocol";
    case FailureKind::Check:
        return "check";
    case FailureKind::Interrupted:
        return "interrupted";
    }
    return "protocol";
}

Failure Described(const DeviceFailure& failure, const SwitchTarget& target) {
    const std::string name = target.Name();
    switch (failure.Kind()) {
    case DeviceFailureKind::Refused:
        return Failure(FailureKind::Refused,
                       Format("%s refused the connection (socket error %d).", name.c_str(), failure.Code()));
    case DeviceFailureKind::Unreachable:
        return Failure(FailureKind::Unreachable, Unreachable(failure, target));
    case DeviceFailureKind::Timeout:
        return Failure(FailureKind::Timeout, TimedOut(failure, target));
    case DeviceFailureKind::Auth:
        if (target.WithoutCredentials)
            return Failure(FailureKind::Auth,
                           Format("%s asks for a user name and password (%s); none were sent, since the "
                                  "settings file names another switch: give --user and --password.",
                                  name.c_str(), failure.what()));
        return Failure(FailureKind::Auth,
                       Format("%s refused the user name or password (%s).", name.c_str(), failure.what()),
                       failure.Code());
    case DeviceFailureKind::Http:
        return Failure(FailureKind::Http,
                       Format("%s answered with a failure (%s).", name.c_str(), failure.what()),
                       failure.Code());
    case DeviceFailureKind::Protocol:
        break;
    }
    return Failure(FailureKind::Protocol, Unreadable(failure, target));
}

Failure AsFailure(const std::exception& failure, const SwitchTarget& target) {
    if (const auto* own = dynamic_cast<const Failure*>(&failure))
        return *own;
    if (const auto* device = dynamic_cast<const DeviceFailure*>(&failure))
        return Described(*device, target);
    if (dynamic_cast<const platform::StopRequested*>(&failure))
        return Failure(FailureKind::Interrupted,
                       Format("Stopped while waiting for %s.", target.Name().c_str()));
    return Failure(FailureKind::Protocol, Format("%s: %s", target.Name().c_str(), failure.what()));
}

} // namespace qdl::control
