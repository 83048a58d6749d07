#pragma once

// What the files of the main window's code share: its window classes, its own messages, and a
// few helpers. One concern per file: FormMessages (the procedures and handlers), FormControls
// (making and placing the controls), FormFonts, FormHints, FormView (the window logic's view),
// and Win32Window (the window's making, its loop).

#include <windows.h>

#include <string>

namespace qdl::win32 {

inline const wchar_t* const FormClass = L"QDL4816Form";
inline const wchar_t* const PageClass = L"QDL4816Page";
inline constexpr UINT CommandDone = WM_APP + 1;  // a command's worker ended
inline constexpr UINT AddHints = WM_APP + 2;     // the window shows: time for the tool tips
inline constexpr UINT ToggleOutlet = WM_APP + 3; // an assistive tool's action on outlet wParam

// The window procedures of the form and of its tab pages.
LRESULT CALLBACK FormProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK PageProcedure(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The monitor's DPI where the system can tell it per window (Windows 10 and later), else the
// system's.
UINT DpiOf(HWND window);

std::wstring WindowText(HWND window);

// A text of the module's string table; empty when it has none of that ID.
std::wstring StringResource(HINSTANCE module, int id);

// A failure's text as the user should read it: UTF-8 where it is valid UTF-8, else the system's
// code page (a switch may answer in it).
std::wstring DisplayText(const std::string& bytes);

} // namespace qdl::win32
