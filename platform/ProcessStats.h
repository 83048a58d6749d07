#pragma once

#include <optional>

namespace qdl::platform {

// What the Prometheus client libraries export of their own process as process_*.
struct ProcessStats {
    double CpuSeconds = 0; // user and system
    double ResidentBytes = 0;
    double VirtualBytes = 0;
    double StartTime = 0;            // Unix time
    double OpenFiles = 0;            // file descriptors; handles on Windows
    std::optional<double> MostFiles; // the limit, where the system has one
};

ProcessStats ReadProcessStats();

} // namespace qdl::platform
