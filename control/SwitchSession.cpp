#include "SwitchSession.h"

#include "QDLHttpU.h"

namespace qdl::control {
namespace {

HttpClientOptions OptionsFor(const SwitchTarget& target) {
    HttpClientOptions options;
    options.ReadTimeout = target.ReadTimeout;
    return options;
}

} // namespace

SwitchSession::SwitchSession(const SwitchTarget& target) : target_(target), http_(OptionsFor(target)) {}

ReplyList SwitchSession::GetPower() {
    ReplyList reply;
    qdl::GetPower(http_, target_.Host, target_.Port, target_.UserName, target_.Password, reply);
    return reply;
}

ReplyList SwitchSession::SetPower(const std::string& states) {
    ReplyList reply;
    qdl::SetPower(http_, target_.Host, target_.Port, target_.UserName, target_.Password, states, reply);
    return reply;
}

ReplyList SwitchSession::GetSchedule(const std::string& slot) {
    ReplyList reply;
    qdl::GetSchedule(http_, target_.Host, target_.Port, target_.UserName, target_.Password, slot, reply);
    return reply;
}

ReplyList SwitchSession::SetSchedule(const std::string& slot, const std::string& year,
                                     const std::string& month, const std::string& day,
                                     const std::string& hour, const std::string& minute,
                                     const std::string& second, const std::string& param,
                                     const std::string& onOff) {
    ReplyList reply;
    qdl::SetSchedule(http_, target_.Host, target_.Port, target_.UserName, target_.Password, slot, year, month,
                     day, hour, minute, second, param, onOff, reply);
    return reply;
}

} // namespace qdl::control
