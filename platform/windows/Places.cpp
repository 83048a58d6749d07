#include "Places.h"

#include "Wide.h"

#include <cstdlib>

namespace qdl::platform {

std::optional<std::string> UserConfigFolder() {
    if (const wchar_t* appData = _wgetenv(L"APPDATA"); appData && *appData)
        return Narrow(appData);
    return std::nullopt;
}

std::string SharedLockFolder() {
    wchar_t path[MAX_PATH + 1];
    const DWORD size = GetTempPathW(MAX_PATH + 1, path);
    return size > 0 ? Narrow(std::wstring(path, size)) : std::string(".");
}

} // namespace qdl::platform
