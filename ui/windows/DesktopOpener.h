#pragma once

#include <string>

// Asks the Windows shell to perform its "open" verb on a web address (no parameters, no working
// folder, shown normally), owned by `owner` when given: the default browser opens it. True when
// the shell reports a result greater than 32.
bool OpenWithShell(const std::string& url, void* owner = nullptr);
