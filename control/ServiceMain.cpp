#include "ServiceMain.h"

#include "ServiceLog.h"

namespace qdl::control {

int RunService(const std::string& logLevel, const std::function<int()>& serve) {
    try {
        SetLogLevel(ParseLogLevel(logLevel));
        return serve();
    } catch (const std::exception& failure) {
        Log(LogLevel::Error, failure.what());
        return 1;
    }
}

} // namespace qdl::control
