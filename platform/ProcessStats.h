#pragma once

#include <cstddef>
#include <optional>

namespace qdl::platform {

// What the Prometheus client libraries export of their own process as process_*. What could not
// be read (no descriptor left to read it with, say) is absent, never 0: a counter that falls to 0
// reads as a restart.
struct ProcessStats {
    std::optional<double> CpuSeconds; // user and system
    std::optional<double> ResidentBytes;
    std::optional<double> VirtualBytes;
    std::optional<double> StartTime; // Unix time
    std::optional<double> OpenFiles; // file descriptors; handles on Windows
    std::optional<double> MostFiles; // the limit, where the system has one
};

ProcessStats ReadProcessStats();

// The descriptors this process may hold; 0 where the system sets no such limit.
std::size_t MostOpenFiles();

} // namespace qdl::platform
