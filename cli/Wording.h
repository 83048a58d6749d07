#pragma once

#include <string>

namespace CLI {
class App;
class ParseError;
} // namespace CLI

namespace qdl::cli {

// The command-line parser's complaints in the project's own words: what was given, what is taken.

// A UsageError for what the parser refused.
[[noreturn]] void ThrowWorded(const CLI::ParseError& failure, const CLI::App& app);

// A UsageError for the first argument no command or option took, if there is one.
void RequireNoLeftovers(const CLI::App& app);

} // namespace qdl::cli
