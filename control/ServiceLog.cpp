#include "ServiceLog.h"

#include "Failures.h"
#include "TextUtil.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace qdl::control {
namespace {

std::atomic<LogLevel> threshold{LogLevel::Info};

const char* NameOf(LogLevel level) {
    switch (level) {
    case LogLevel::Debug:
        return "debug";
    case LogLevel::Info:
        return "info";
    case LogLevel::Warn:
        return "warn";
    case LogLevel::Error:
        return "error";
    }
    return "info";
}

std::string Timestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    return Format("%s.%03lldZ", text, static_cast<long long>(millis));
}

} // namespace

LogLevel ParseLogLevel(const std::string& text) {
    for (LogLevel level : {LogLevel::Debug, LogLevel::Info, LogLevel::Warn, LogLevel::Error})
        if (text == NameOf(level))
            return level;
    throw UsageError(
        Format("--log.level '%s' is none of debug, info, warn and error.", Printable(text, 40).c_str()));
}

void SetLogLevel(LogLevel level) {
    threshold = level;
}

std::string Field(const std::string& key, const std::string& value) {
    std::string quoted;
    for (char c : Utf8Printable(value, 400))
        quoted += c == '"' ? std::string("\\\"") : std::string(1, c);
    return key + "=\"" + quoted + "\"";
}

void Log(LogLevel level, const std::string& message, const std::string& fields) {
    if (level < threshold)
        return;
    const std::string line = "ts=" + Timestamp() + " level=" + NameOf(level) + " " + Field("msg", message) +
                             (fields.empty() ? "" : " " + fields) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace qdl::control
