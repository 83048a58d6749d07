#include "Panel.h"

#include "AccessibleProxy.h"
#include "ControlIds.h"

#include <windowsx.h>

namespace qdl::win32 {
namespace {

// The panel's one extra slot: nonzero once its light was shown or hidden.
constexpr int WasShownSlot = 0;

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
    case WM_GETOBJECT:
        if (const LRESULT answer = AnswerAccessibilityRequest(panel, wParam, lParam))
            return answer;
        return DefWindowProcW(panel, message, wParam, lParam);
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
    panel.cbWndExtra = sizeof(LONG_PTR);
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

void ShowIndicatorLight(HWND indicator, bool lit) {
    const bool changed = !IndicatorWasShown(indicator) || IndicatorLit(indicator) != lit;
    SetWindowLongPtrW(indicator, WasShownSlot, 1);
    ShowWindow(GetWindow(indicator, GW_CHILD), lit ? SW_SHOWNA : SW_HIDE);
    if (changed)
        AnnounceStateChange(indicator);
}

bool IndicatorWasShown(HWND indicator) {
    return GetWindowLongPtrW(indicator, WasShownSlot) != 0;
}

bool IndicatorLit(HWND indicator) {
    const HWND light = GetWindow(indicator, GW_CHILD);
    return light != nullptr && (GetWindowLongPtrW(light, GWL_STYLE) & WS_VISIBLE) != 0;
}

} // namespace qdl::win32
