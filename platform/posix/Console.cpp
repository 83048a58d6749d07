#include "Console.h"

namespace qdl::platform {

// Terminals take UTF-8 as it is.
void PrepareConsole() {}

} // namespace qdl::platform
