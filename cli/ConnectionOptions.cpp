#include "ConnectionOptions.h"

#include "Failures.h"
#include "TextUtil.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace qdl::cli {

std::string FirstLineOf(const std::string& fileName, const char* what) {
    std::ifstream in(fileName, std::ios::binary);
    std::string line;
    if (!in || (!std::getline(in, line) && !in.eof()))
        throw control::UsageError(
            Format("The %s %s cannot be read: %s.", what, fileName.c_str(), std::strerror(errno)));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

control::ConnectionTexts ResolveTexts(const ConnectionOptions& options) {
    control::ConnectionTexts texts = control::ReadConnectionTexts(options.Config, options.Section);
    if (options.Host)
        texts.Address = *options.Host;
    if (options.Port)
        texts.Port = *options.Port;
    if (options.User)
        texts.UserName = *options.User;
    if (options.PasswordFile)
        texts.Password = FirstLineOf(*options.PasswordFile, "password file");
    else if (const char* fromEnvironment = std::getenv("QDL4816_PASSWORD"))
        texts.Password = fromEnvironment;
    else if (options.Password)
        texts.Password = *options.Password;
    return texts;
}

control::SwitchTarget ResolveTarget(const ConnectionOptions& options) {
    if (options.TimeoutSeconds && (*options.TimeoutSeconds < 1 || *options.TimeoutSeconds > 30))
        throw control::UsageError(
            Format("--timeout %d is out of range: give 1 to 30 seconds.", *options.TimeoutSeconds));
    control::SwitchTarget target = control::TargetOf(ResolveTexts(options));
    if (options.TimeoutSeconds)
        target.ReadTimeout = std::chrono::seconds(*options.TimeoutSeconds);
    return target;
}

} // namespace qdl::cli
