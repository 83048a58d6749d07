#include "SwitchTarget.h"

#include "Conversions.h"
#include "IniDocument.h"
#include "SettingsFile.h"
#include "TextUtil.h"

namespace qdl::control {

ConnectionTexts ReadConnectionTexts(const std::string& fileName, const std::string& section) {
    ConnectionTexts texts;
    const auto content = ReadSettingsFile(fileName);
    if (!content)
        return texts;
    const IniDocument document = IniDocument::Parse(*content);
    auto take = [&](const char* key, std::string& text) {
        if (auto value = document.Value(section, key))
            text = *value;
    };
    take("IPV4", texts.Address);
    take("Port", texts.Port);
    take("UserName", texts.UserName);
    take("Pass", texts.Password);
    return texts;
}

SwitchTarget TargetOf(const ConnectionTexts& texts) {
    SwitchTarget target;
    target.Host = Trim(texts.Address);
    target.Port = StrToIntDef(texts.Port, 80);
    target.UserName = texts.UserName;
    target.Password = texts.Password;
    return target;
}

std::string WebPageAddress(const ConnectionTexts& texts) {
    return "http://" + texts.Address + ":" + texts.Port;
}

} // namespace qdl::control
