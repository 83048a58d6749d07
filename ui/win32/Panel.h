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

} // namespace qdl::win32
