#pragma once

#include <optional>
#include <string>

namespace qdl::win32 {

// Where the window keeps its settings file: the folder it was started in, as always, unless that
// is the program's own folder. The Start menu's shortcut starts it there for every user of the
// machine; each user then gets a folder of their own, %APPDATA%\quadrel4816, made when missing,
// never the installing user's. Nothing when there is no such folder to go to.
std::optional<std::wstring> SettingsFolderFor(const std::wstring& startedIn,
                                              const std::wstring& programFolder,
                                              const std::optional<std::wstring>& appData);

// Makes the process's working folder the one above, creating it where missing. A failure leaves
// the folder it was started in, where the window says what it cannot write.
void MoveToSettingsFolder();

} // namespace qdl::win32
