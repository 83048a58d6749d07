#pragma once

#include "HttpClient.h"
#include "ReplyList.h"
#include "SwitchTarget.h"

#include <functional>
#include <string>

namespace qdl::control {

// One switch and one HTTP client for a sequence of commands: the four device commands with the
// target's connection data, each returning the reply's items (empty when the switch answered
// nothing usable). Every failure is a Failure in English that names the switch; a reply whose
// body the switch broke off is one (kind Protocol), since what it leaves out is unknown.
class SwitchSession {
public:
    // `trace`, when given, is told every request line, status line and reply body.
    explicit SwitchSession(const SwitchTarget& target, std::function<void(const std::string&)> trace = {});

    const SwitchTarget& Target() const { return target_; }

    // Told before every SetPower and SetSchedule is sent: the moment from which the switch may
    // have changed.
    void BeforeEveryWrite(std::function<void()> hook) { beforeWrite_ = std::move(hook); }

    ReplyList GetPower();
    ReplyList SetPower(const std::string& states);
    ReplyList GetSchedule(const std::string& slot);
    ReplyList SetSchedule(const std::string& slot, const std::string& year, const std::string& month,
                          const std::string& day, const std::string& hour, const std::string& minute,
                          const std::string& second, const std::string& param, const std::string& onOff);

private:
    ReplyList Run(const std::function<void(ReplyList&)>& command);
    void Writing();

    SwitchTarget target_;
    HttpClient http_;
    std::function<void()> beforeWrite_;
};

} // namespace qdl::control
