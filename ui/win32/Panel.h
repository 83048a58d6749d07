#pragma once

#include <windows.h>

namespace qdl::win32 {

extern const wchar_t* const PanelClass;

// The window class of the outlet panels and the device indicator: a filled square, the outer
// ones in the face colour with a one-pixel raised frame, the inner ones lime (an outlet ON) or
// red (the device). A click tells the top-level window by WM_COMMAND with the panel's ID and
// BN_CLICKED, as a button would.
void RegisterPanelClass(HINSTANCE instance);

// The panel's colour, by its control ID.
COLORREF PanelColour(int id);

// An outer panel's light, the inner panel, shows or hides; from then on the indicator's state is
// known, and a change is announced to assistive tools.
void ShowIndicatorLight(HWND indicator, bool lit);
// Whether the light was ever shown or hidden since the window opened: before, the state is
// unknown, not OFF.
bool IndicatorWasShown(HWND indicator);
bool IndicatorLit(HWND indicator);

} // namespace qdl::win32
