#pragma once

#include <string>

namespace qdl::platform {

// The program's texts are UTF-8. Files the window has always written in the system's own code
// page (the settings file: the ANSI code page on Windows) are converted at their edge, so that a
// file written by an older copy reads back the same. On POSIX systems the code page is UTF-8.
std::string FromSystemCodePage(const std::string& bytes);
std::string ToSystemCodePage(const std::string& text);

} // namespace qdl::platform
