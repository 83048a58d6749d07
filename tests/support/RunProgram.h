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

// Runs a program to its end with these arguments (argv[0] included), `input` on its standard
// input and `environment` added to this process's own; collects what it prints.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& input = "",
                         const std::map<std::string, std::string>& environment = {});

} // namespace qdl::test
