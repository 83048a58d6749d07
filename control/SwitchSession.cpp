#include "SwitchSession.h"

#include "Failures.h"
#include "QDLHttpU.h"
#include "TextUtil.h"

namespace qdl::control {
namespace {

HttpClientOptions OptionsFor(const SwitchTarget& target, std::function<void(const std::string&)> trace) {
    HttpClientOptions options;
    options.ConnectTimeout = target.ConnectTimeout;
    options.ReadTimeout = target.ReadTimeout;
    options.Deadline = target.Deadline;
    options.WithoutCredentials = target.WithoutCredentials;
    options.Trace = std::move(trace);
    return options;
}

} // namespace

SwitchSession::SwitchSession(const SwitchTarget& target, std::function<void(const std::string&)> trace)
    : target_(target), http_(OptionsFor(target, std::move(trace))) {}

ReplyList SwitchSession::Run(const std::function<void(ReplyList&)>& command) {
    ReplyList reply;
    try {
        command(reply);
    } catch (const std::exception& failure) {
        throw AsFailure(failure, target_);
    }
    if (const std::string& missing = http_.LastBodyCutShort(); !missing.empty())
        throw Failure(FailureKind::Protocol,
                      Format("%s cut its reply short (%s).", target_.Name().c_str(), missing.c_str()));
    return reply;
}

void SwitchSession::Writing() {
    if (beforeWrite_)
        beforeWrite_();
}

ReplyList SwitchSession::GetPower() {
    const auto& t = target_;
    return Run(
        [&](ReplyList& reply) { qdl::GetPower(http_, t.Host, t.Port, t.UserName, t.Password, reply); });
}

ReplyList SwitchSession::SetPower(const std::string& states) {
    Writing();
    const auto& t = target_;
    return Run([&](ReplyList& reply) {
        qdl::SetPower(http_, t.Host, t.Port, t.UserName, t.Password, states, reply);
    });
}

ReplyList SwitchSession::GetSchedule(const std::string& slot) {
    const auto& t = target_;
    return Run([&](ReplyList& reply) {
        qdl::GetSchedule(http_, t.Host, t.Port, t.UserName, t.Password, slot, reply);
    });
}

ReplyList SwitchSession::SetSchedule(const std::string& slot, const std::string& year,
                                     const std::string& month, const std::string& day,
                                     const std::string& hour, const std::string& minute,
                                     const std::string& second, const std::string& param,
                                     const std::string& onOff) {
    Writing();
    const auto& t = target_;
    return Run([&](ReplyList& reply) {
        qdl::SetSchedule(http_, t.Host, t.Port, t.UserName, t.Password, slot, year, month, day, hour, minute,
                         second, param, onOff, reply);
    });
}

} // namespace qdl::control
