#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace qdl::cli {

// An option of the fence agent, for its completion: its names and, for one that takes a value,
// the words it takes ("" for a free text, "FILE" for a file name).
struct AgentOption {
    std::vector<std::string> Names; // "-o", "--action"
    bool TakesValue = false;
    std::string Words;
};

// The shell completion for qdlctl (bash, zsh or fish), made from the command definitions so
// that it knows every command and option the program does; it also completes the monitoring
// plugin check_qdl4816 as `qdlctl check`, and the fence agent fence_qdl4816 from `agent`.
std::string CompletionScript(const CLI::App& app, const std::string& shell,
                             const std::vector<AgentOption>& agent = {});

} // namespace qdl::cli
