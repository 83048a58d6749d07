#include "SwitchTarget.h"

#include "Conversions.h"
#include "TextUtil.h"

namespace qdl::control {

SwitchTarget TargetOf(const ConnectionTexts& texts) {
    SwitchTarget target;
    target.Host = Trim(texts.Address);
    target.Port = StrToIntDef(texts.Port, 80);
    target.UserName = texts.UserName;
    target.Password = texts.Password;
    target.WithoutCredentials = texts.WithoutCredentials;
    return target;
}

std::string WebPageAddress(const ConnectionTexts& texts) {
    return "http://" + texts.Address + ":" + texts.Port;
}

} // namespace qdl::control
