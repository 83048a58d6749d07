#pragma once

#include <optional>
#include <string>

namespace qdl::win32 {

// The file the installer puts beside the installed program, and only there: the portable copy
// (the zip) has none.
inline const wchar_t* const InstalledMarker = L"QDL4816.installed";

// Where the window keeps its settings file: the folder it was started in, as always, unless it
// is the installed copy started in its own folder. The Start menu's shortcut starts it there for
// every user of the machine, and users may not write it; each user then gets a folder of their
// own, %APPDATA%\quadrel4816, made when missing, never the installing user's. The portable copy
// started in its own folder keeps the QDL4816.ini beside it. Nothing when the window stays.
std::optional<std::wstring> SettingsFolderFor(const std::wstring& startedIn,
                                              const std::wstring& programFolder,
                                              const std::optional<std::wstring>& appData, bool installed);

// Makes the process's working folder the one above, creating it where missing. A failure leaves
// the folder it was started in, where the window says what it cannot write. Returns what the
// user must be told: a QDL4816.ini in the folder it was started in that the installed copy does
// not use, said at the start that begins the user's own file.
std::optional<std::wstring> MoveToSettingsFolder();

} // namespace qdl::win32
