#pragma once

#include <string>

namespace qdl::control {

// The services' log (the exporter, the MQTT bridge): one line per event on standard error, in
// the Prometheus tools' logfmt: time, level, message and
// fields. Lines below the chosen level are left out. Never given a password.
enum class LogLevel { Debug, Info, Warn, Error };

// "debug", "info", "warn" or "error"; a ConfigError otherwise.
LogLevel ParseLogLevel(const std::string& text);
void SetLogLevel(LogLevel level);

// `fields`: further key="value" pairs, already written as logfmt.
void Log(LogLevel level, const std::string& message, const std::string& fields = "");

// key="value", the value quoted as logfmt quotes it.
std::string Field(const std::string& key, const std::string& value);

} // namespace qdl::control
