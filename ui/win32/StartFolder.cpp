#include "StartFolder.h"

#include <windows.h>

#include <shlobj.h>

#include <cstdlib>

namespace qdl::win32 {
namespace {

// The full path without a trailing separator, for comparing folders.
std::wstring Normalised(const std::wstring& folder) {
    wchar_t full[MAX_PATH * 4];
    const DWORD size = GetFullPathNameW(folder.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
    std::wstring path = size > 0 && size < std::size(full) ? std::wstring(full, size) : folder;
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path;
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    const std::wstring left = Normalised(a), right = Normalised(b);
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

std::wstring CurrentFolder() {
    wchar_t folder[MAX_PATH * 4];
    const DWORD size = GetCurrentDirectoryW(static_cast<DWORD>(std::size(folder)), folder);
    return std::wstring(folder, size < std::size(folder) ? size : 0);
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH * 4];
    const DWORD size = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    const std::wstring file(path, size);
    return file.substr(0, file.find_last_of(L"\\/"));
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::wstring> AppData() {
    if (const wchar_t* appData = _wgetenv(L"APPDATA"); appData && *appData)
        return appData;
    return std::nullopt;
}

} // namespace

std::optional<std::wstring> SettingsFolderFor(const std::wstring& startedIn,
                                              const std::wstring& programFolder,
                                              const std::optional<std::wstring>& appData, bool installed) {
    if (!installed || !appData || !SameFolder(startedIn, programFolder))
        return std::nullopt;
    return Normalised(*appData) + L"\\quadrel4816";
}

std::optional<std::wstring> MoveToSettingsFolder() {
    const std::wstring startedIn = CurrentFolder(), program = ProgramFolder();
    const bool installed = IsFile(program + L"\\" + InstalledMarker);
    const auto folder = SettingsFolderFor(startedIn, program, AppData(), installed);
    if (!folder)
        return std::nullopt;
    const std::wstring left = Normalised(startedIn) + L"\\QDL4816.ini", own = *folder + L"\\QDL4816.ini";
    const bool tell = IsFile(left) && !IsFile(own);
    // Made again where a user removed it, with the folders above it.
    SHCreateDirectoryExW(nullptr, folder->c_str(), nullptr);
    SetCurrentDirectoryW(folder->c_str());
    if (!tell)
        return std::nullopt;
    return L"The settings file " + left +
           L" is not used: the installed program keeps each user's settings in " + own +
           L", which starts now with the defaults. Copy the file there to use its settings.";
}

} // namespace qdl::win32
