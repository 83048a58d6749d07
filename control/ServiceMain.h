#pragma once

#include <functional>
#include <string>

namespace qdl::control {

// How a service's main runs once its command line is read (the exporter, the MQTT bridge): the
// log level of --log.level set, then `serve`, whose result is the exit status. Whatever it throws
// is one error line in the log and exit status 1.
int RunService(const std::string& logLevel, const std::function<int()>& serve);

} // namespace qdl::control
