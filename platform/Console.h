#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qdl::platform {

// What a console program takes from its system and gives back to it, in the program's UTF-8.

// Makes the console show the program's UTF-8 texts as they are (on Windows its code page is
// another by default); nothing elsewhere.
void PrepareConsole();

// Gives the console back the code pages it had before PrepareConsole. Runs by itself when the
// program exits; a stop that ends the process at once calls it first.
void RestoreConsole();

// The program's arguments, its name first. On Windows they are read from the UTF-16 command line,
// so that a name or password outside the ANSI code page arrives whole.
std::vector<std::string> ProgramArguments(int argc, char* argv[]);

// An environment variable's value; nothing when it is not set.
std::optional<std::string> EnvironmentValue(const char* name);

} // namespace qdl::platform
