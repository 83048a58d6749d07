#include "ProcessStats.h"

#include <windows.h>

#include <psapi.h>

namespace qdl::platform {
namespace {

double Seconds(const FILETIME& time) { // 100 ns units
    return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                               time.dwLowDateTime) /
           1e7;
}

} // namespace

ProcessStats ReadProcessStats() {
    ProcessStats stats;
    FILETIME created{}, ended{}, kernel{}, user{};
    if (GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) {
        stats.CpuSeconds = Seconds(kernel) + Seconds(user);
        stats.StartTime = Seconds(created) - 11644473600.0; // from 1601 to 1970
    }
    PROCESS_MEMORY_COUNTERS_EX memory{};
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof memory)) {
        stats.ResidentBytes = static_cast<double>(memory.WorkingSetSize);
        stats.VirtualBytes = static_cast<double>(memory.PrivateUsage);
    }
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles))
        stats.OpenFiles = handles;
    return stats;
}

std::size_t MostOpenFiles() {
    return 0; // handles have no limit of their own
}

} // namespace qdl::platform
