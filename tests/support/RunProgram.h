#pragma once

#include <map>
#include <string>
#include <vector>

namespace qdl::test {

struct ProgramResult {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

// A program started with pipes on its standard streams, `environment` added to this process's
// own, in `folder` (this process's own when empty). Killed when this goes while it still runs.
class Program {
public:
    Program(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment = {},
            const std::string& folder = "");
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    void Signal(int signal);
    // Reads standard error (or output) until it holds `text`; false when the program closed it first.
    bool WaitForError(const std::string& text) { return WaitFor(text, true); }
    bool WaitForOutput(const std::string& text) { return WaitFor(text, false); }
    // Feeds `input`, then collects everything it prints until it ends.
    ProgramResult Finish(const std::string& input = "");

private:
    bool WaitFor(const std::string& text, bool onError);
    bool ReadSome(bool wantError);

    int pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    ProgramResult result_;
};

// Runs a program to its end with these arguments (argv[0] included), `input` on its standard
// input; collects what it prints.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& input = "",
                         const std::map<std::string, std::string>& environment = {},
                         const std::string& folder = "");

} // namespace qdl::test
