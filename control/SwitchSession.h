#pragma once

#include "HttpClient.h"
#include "ReplyList.h"
#include "SwitchTarget.h"

#include <string>

namespace qdl::control {

// One switch and one HTTP client for a sequence of commands: the four device commands with the
// target's connection data, each returning the reply's items (empty when the switch answered
// nothing usable). Failures are the device library's own.
class SwitchSession {
public:
    explicit SwitchSession(const SwitchTarget& target);

    ReplyList GetPower();
    ReplyList SetPower(const std::string& states);
    ReplyList GetSchedule(const std::string& slot);
    ReplyList SetSchedule(const std::string& slot, const std::string& year, const std::string& month,
                          const std::string& day, const std::string& hour, const std::string& minute,
                          const std::string& second, const std::string& param, const std::string& onOff);

private:
    SwitchTarget target_;
    HttpClient http_;
};

// What the window shows when a command's reply holds no items.
inline const std::string NoUsableReply = "Error ... Please Check Quadrel";

} // namespace qdl::control
