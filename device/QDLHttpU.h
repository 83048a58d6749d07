#pragma once

#include "HttpClient.h"
#include "ReplyList.h"

#include <string>

namespace qdl {

// The four commands of the switch. Each sends one GET /Set.cmd?CMD=... with Basic
// authentication over a fresh connection and, once the exchange completed, replaces `reply`
// with the payload of the answer. True when the payload holds at least one item; every failure
// is thrown with its message and leaves `reply` as it was.

bool GetPower(HttpClient& http, const std::string& host, int port, const std::string& userName,
              const std::string& password, ReplyList& reply);

// `states` is an outlet state string such as "+P60=1+P61=0+P62=0+P63=1".
bool SetPower(HttpClient& http, const std::string& host, int port, const std::string& userName,
              const std::string& password, const std::string& states, ReplyList& reply);

// `slot` is one of "1A", "1B" ... "4B".
bool GetSchedule(HttpClient& http, const std::string& host, int port, const std::string& userName,
                 const std::string& password, const std::string& slot, ReplyList& reply);

// The fields go into the command exactly as they are passed.
bool SetSchedule(HttpClient& http, const std::string& host, int port, const std::string& userName,
                 const std::string& password, const std::string& slot, const std::string& year,
                 const std::string& month, const std::string& day, const std::string& hour,
                 const std::string& minute, const std::string& second, const std::string& param,
                 const std::string& onOff, ReplyList& reply);

} // namespace qdl
