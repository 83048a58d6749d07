#pragma once

#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace qdl::cli::fence {

// Where the agent's log lines go, as with the fence-agents library: errors and warnings to
// standard error unless quiet; with verbose also the exchanges; everything to the debug file.
class FenceLog {
public:
    FenceLog(std::ostream& err, bool quiet, int verboseLevel, const std::string& debugFile);

    void Error(const std::string& message) { Write("ERROR", message, true); }
    void Warning(const std::string& message) { Write("WARNING", message, true); }
    void Debug(const std::string& message) { Write("DEBUG", message, verbose_); }

    // Texts that never reach a log: the password, as typed and as sent.
    void Mask(const std::vector<std::string>& secrets);

private:
    void Write(const char* level, const std::string& message, bool toStandardError);

    std::ostream& err_;
    bool quiet_;
    bool verbose_;
    std::unique_ptr<std::ofstream> debugFile_;
    std::vector<std::string> secrets_;
};

} // namespace qdl::cli::fence
