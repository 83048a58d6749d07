#include "QDLHttpU.h"

#include "CommaText.h"

namespace qdl {
namespace {

bool RunCommand(HttpClient& http, const std::string& host, int port, const std::string& userName,
                const std::string& password, const std::string& command, ReplyList& reply) {
    http.Host = host;
    http.Port = port;
    http.UserName = userName;
    http.Password = password;
    http.BasicAuthentication = true;
    const std::string body = http.Get("/Set.cmd?CMD=" + command);
    ReplyList payload;
    SplitCommaText(payload, body);
    reply = std::move(StripHtmlReply(payload));
    return !reply.empty();
}

} // namespace

bool GetPower(HttpClient& http, const std::string& host, int port, const std::string& userName,
              const std::string& password, ReplyList& reply) {
    return RunCommand(http, host, port, userName, password, "GetPower", reply);
}

bool SetPower(HttpClient& http, const std::string& host, int port, const std::string& userName,
              const std::string& password, const std::string& states, ReplyList& reply) {
    return RunCommand(http, host, port, userName, password, "SetPower" + states, reply);
}

bool GetSchedule(HttpClient& http, const std::string& host, int port, const std::string& userName,
                 const std::string& password, const std::string& slot, ReplyList& reply) {
    return RunCommand(http, host, port, userName, password, "GetSchedule+Power=" + slot, reply);
}

bool SetSchedule(HttpClient& http, const std::string& host, int port, const std::string& userName,
                 const std::string& password, const std::string& slot, const std::string& year,
                 const std::string& month, const std::string& day, const std::string& hour,
                 const std::string& minute, const std::string& second, const std::string& param,
                 const std::string& onOff, ReplyList& reply) {
    const std::string command = "SetSchedule+Power=" + slot + "+YY=" + year + "+MM=" + month + "+DD=" + day +
                                "+HH=" + hour + "+MN=" + minute + "+SS=" + second + "+PARAM=" + param +
                                "+ONOFF=" + onOff;
    return RunCommand(http, host, port, userName, password, command, reply);
}

} // namespace qdl
