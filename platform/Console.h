#pragma once

namespace qdl::platform {

// Makes the console show the program's UTF-8 texts as they are (on Windows its code page is
// another by default); nothing elsewhere.
void PrepareConsole();

} // namespace qdl::platform
