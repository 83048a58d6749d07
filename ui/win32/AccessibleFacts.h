#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace qdl::win32 {

// What an assistive tool is told of one of the window's controls beyond what the system's own
// object for it knows: the boxes' captions (the labels before them), the names of the memo, the
// status bar and the schedule's pickers and lists, and the indicators as toggles.
struct AccessibleFacts {
    std::wstring Name;
    std::wstring Description; // empty: the system's
    std::wstring Shortcut;    // empty: the system's
    int Outlet = -1;          // an indicator: 1 to 4 for an outlet, 0 for the device; else -1
    long Role = 0;            // 0: the system's
};

// Nothing for a control the system's object describes well enough.
std::optional<AccessibleFacts> FactsOf(HWND control);

// The control whose object answers for this one: an indicator's light is part of the indicator.
HWND AnsweringControl(HWND control);

} // namespace qdl::win32
