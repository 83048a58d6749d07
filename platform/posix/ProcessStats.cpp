#include "ProcessStats.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace qdl::platform {
namespace {

// The boot time, as /proc/stat's btime line says.
double BootTime() {
    std::ifstream stat("/proc/stat");
    std::string key;
    double value = 0;
    while (stat >> key) {
        if (key == "btime" && stat >> value)
            return value;
        stat.ignore(1 << 16, '\n');
    }
    return 0;
}

std::optional<double> OpenDescriptors() {
    DIR* folder = ::opendir("/proc/self/fd");
    if (!folder)
        return std::nullopt;
    double count = 0;
    while (const dirent* entry = ::readdir(folder))
        count += entry->d_name[0] != '.';
    ::closedir(folder);
    return count - 1; // the folder's own descriptor
}

// From the system call rather than /proc: it needs no descriptor, and counts microseconds where
// /proc's clock ticks read 0 for a process that has worked less than 10 ms.
std::optional<double> CpuSeconds() {
    rusage usage{};
    if (::getrusage(RUSAGE_SELF, &usage) != 0)
        return std::nullopt;
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

ProcessStats ReadProcessStats() {
    ProcessStats stats;
    stats.CpuSeconds = CpuSeconds();
    stats.OpenFiles = OpenDescriptors();
    if (const std::size_t most = MostOpenFiles())
        stats.MostFiles = static_cast<double>(most);
    std::ifstream file("/proc/self/stat");
    if (!file)
        return stats;
    const std::string line((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The fields after the command's name, which is in parentheses and may hold blanks.
    std::istringstream rest(line.substr(line.rfind(')') + 1));
    const std::vector<std::string> fields((std::istream_iterator<std::string>(rest)),
                                          std::istream_iterator<std::string>());
    const double ticks = static_cast<double>(::sysconf(_SC_CLK_TCK));
    const auto field = [&](std::size_t number) { // as proc(5) counts them, from 1
        return number - 3 < fields.size() ? std::stod(fields[number - 3]) : 0.0;
    };
    if (fields.size() >= 24 && ticks > 0) {
        stats.StartTime = BootTime() + field(22) / ticks;
        stats.VirtualBytes = field(23);
        stats.ResidentBytes = field(24) * static_cast<double>(::sysconf(_SC_PAGESIZE));
    }
    return stats;
}

std::size_t MostOpenFiles() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 0;
    return static_cast<std::size_t>(limit.rlim_cur);
}

} // namespace qdl::platform
