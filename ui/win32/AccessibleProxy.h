#pragma once

#include <windows.h>

namespace qdl::win32 {

// Answers WM_GETOBJECT for the client area of one of the window's controls: an MSAA object that
// tells what FactsOf knows (names, the indicators' role, state and action) and leaves the rest to
// the system's own object for the control. 0 where the system's object says all there is (the
// caller then passes the message on), and for requests of other objects.
LRESULT AnswerAccessibilityRequest(HWND control, WPARAM flags, LPARAM objectId);

// Makes a control answer WM_GETOBJECT as above (a subclass of its window).
void AnswerAssistiveTools(HWND control);

// Tells assistive tools that an indicator's state changed.
void AnnounceStateChange(HWND indicator);

} // namespace qdl::win32
