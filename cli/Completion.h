#pragma once

#include <string>

namespace CLI {
class App;
}

namespace qdl::cli {

// The shell completion for qdlctl (bash, zsh or fish), made from the command definitions so
// that it knows every command and option the program does.
std::string CompletionScript(const CLI::App& app, const std::string& shell);

} // namespace qdl::cli
