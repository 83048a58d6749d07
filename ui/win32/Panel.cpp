#include "Panel.h"

#include "ControlIds.h"

#include <windowsx.h>

namespace qdl::win32 {
namespace {

bool IsInner(int id) {
    return id == IDC_PPW || (id >= IDC_PF1 && id <= IDC_PF4);
}

void OnPaint(HWND panel) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(panel, &paint);
    RECT area;
    GetClientRect(panel, &area);
    const int id = GetDlgCtrlID(panel);
    const HBRUSH fill = CreateSolidBrush(PanelColour(id));
    FillRect(dc, &area, fill);
    DeleteObject(fill);
    if (!IsInner(id))
        DrawEdge(dc, &area, BDR_RAISEDINNER, BF_RECT);
    EndPaint(panel, &paint);
}

void OnLeftButtonDown(HWND panel, BOOL, int, int, UINT) {
    SetCapture(panel);
}

// Acts on the release over the panel, as a button does.
void OnLeftButtonUp(HWND panel, int x, int y, UINT) {
    if (GetCapture() != panel)
        return;
    ReleaseCapture();
    RECT area;
    GetClientRect(panel, &area);
    const POINT at{x, y};
    if (PtInRect(&area, at))
        SendMessageW(GetAncestor(panel, GA_ROOT), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(panel), BN_CLICKED),
                     reinterpret_cast<LPARAM>(panel));
}

LRESULT CALLBACK PanelProcedure(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        HANDLE_MSG(panel, WM_LBUTTONDOWN, OnLeftButtonDown);
        HANDLE_MSG(panel, WM_LBUTTONUP, OnLeftButtonUp);
    case WM_PAINT:
        OnPaint(panel);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    default:
        return DefWindowProcW(panel, message, wParam, lParam);
    }
}

} // namespace

const wchar_t* const PanelClass = L"QDL4816Panel";

void RegisterPanelClass(HINSTANCE instance) {
    WNDCLASSEXW panel{};
    panel.cbSize = sizeof panel;
    panel.lpfnWndProc = PanelProcedure;
    panel.hInstance = instance;
    panel.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    panel.lpszClassName = PanelClass;
    RegisterClassExW(&panel);
}

COLORREF PanelColour(int id) {
    if (id == IDC_PPW)
        return RGB(255, 0, 0);
    if (id >= IDC_PF1 && id <= IDC_PF4)
        return RGB(0, 255, 0);
    return GetSysColor(COLOR_BTNFACE);
}

} // namespace qdl::win32
