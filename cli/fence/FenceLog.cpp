#include "FenceLog.h"

#include "FenceFailure.h"

namespace qdl::cli::fence {

FenceLog::FenceLog(std::ostream& err, bool quiet, int verboseLevel, const std::string& debugFile)
    : err_(err), quiet_(quiet), verbose_(verboseLevel > 0) {
    if (debugFile.empty())
        return;
    debugFile_ = std::make_unique<std::ofstream>(debugFile, std::ios::app);
    if (!*debugFile_)
        throw FenceFailure("Failed: Unable to create file " + debugFile);
}

void FenceLog::Mask(const std::vector<std::string>& secrets) {
    for (const auto& secret : secrets)
        if (!secret.empty())
            secrets_.push_back(secret);
}

void FenceLog::Write(const char* level, const std::string& message, bool toStandardError) {
    std::string line = std::string(level) + ": " + message;
    for (const auto& secret : secrets_)
        for (auto at = line.find(secret); at != std::string::npos; at = line.find(secret, at + 8))
            line.replace(at, secret.size(), "********");
    if (toStandardError && !quiet_)
        err_ << line << '\n' << std::flush;
    if (debugFile_)
        *debugFile_ << line << '\n' << std::flush;
}

} // namespace qdl::cli::fence
