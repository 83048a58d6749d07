// The main window's messages: the procedures only dispatch, one small handler per message.
#include "Win32Window.h"

#include "ControlIds.h"
#include "FailureIn.h"
#include "FormParts.h"
#include "Layout.h"
#include "Panel.h"

#include <commctrl.h>
#include <windowsx.h>

namespace qdl::win32 {
namespace {

TForm1* Self(HWND window) {
    return reinterpret_cast<TForm1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

} // namespace

// The main window's procedure: it only dispatches. What the face's own code throws goes to the
// failure box; a window whose making failed is not made.
LRESULT CALLBACK FormProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    TForm1* form = Self(window);
    if (!form)
        return DefWindowProcW(window, message, wParam, lParam);
    const bool handler = message == WM_COMMAND || message == WM_NOTIFY || message == ToggleOutlet;
    form->handling_ += handler ? 1 : 0;
    LRESULT result = message == WM_CREATE ? -1 : 0;
    const auto failure = ui::FailureIn([&] { result = form->Dispatch(window, message, wParam, lParam); });
    if (failure)
        form->ShowFailureBox(ui::WindowLogic::ApplicationTitle, ui::WindowLogic::MessageBoxText(*failure));
    if (handler && --form->handling_ == 0)
        form->TakeNextToggle();
    return result;
}

LRESULT TForm1::Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return OnCreate(window) ? 0 : -1;
    case WM_COMMAND:
        OnCommand(GET_WM_COMMAND_ID(wParam, lParam), GET_WM_COMMAND_HWND(wParam, lParam),
                  GET_WM_COMMAND_CMD(wParam, lParam));
        return 0;
    case WM_NOTIFY:
        return OnNotify(static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam));
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
        return reinterpret_cast<LRESULT>(
            OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_MENUSELECT:
        OnMenuSelect(reinterpret_cast<HMENU>(lParam), LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        OnEndSession(wParam != FALSE);
        return 0;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam));
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case AddHints:
        AddToolTips();
        return 0;
    case ToggleOutlet:
        OnToggleOutlet(static_cast<int>(wParam));
        return 0;
    case 0x02E0: // WM_DPICHANGED
        OnDpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// A tab page hands what its controls tell it to the main window.
LRESULT CALLBACK PageProcedure(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
        return SendMessageW(GetAncestor(page, GA_ROOT), message, wParam, lParam);
    default:
        return DefWindowProcW(page, message, wParam, lParam);
    }
}

BOOL TForm1::OnCreate(HWND window) {
    window_ = window;
    dpi_ = DpiOf(window);
    MakeFonts();
    CreateControls();
    // No tool tip shows before the pointer rests on a control: they are made once the window shows.
    PostMessageW(window, AddHints, 0, 0);
    // Centred on the screen the window opens on.
    RECT frame{0, 0, Scaled(ClientWidth), Scaled(ClientHeight)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), TRUE,
                       static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(window, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

void TForm1::OnCommand(int id, HWND, UINT code) {
    constexpr UINT FromAccelerator = 1;
    if (code == FromAccelerator && id >= IDM_Outlet1 && id <= IDM_Outlet4) {
        if (SendMessageW(Control(IDC_PageControl1), TCM_GETCURSEL, 0, 0) == 0)
            OnToggleOutlet(id - IDM_Outlet1 + 1);
        return;
    }
    if (code != BN_CLICKED && code != 0)
        return;
    switch (id) {
    case IDM_CloseX1:
        logic_.CloseX1Click();
        return;
    case IDM_Tarnwell1:
        logic_.Tarnwell1Click();
        return;
    case IDM_Corvanti1:
        logic_.Corvanti1Click();
        return;
    case IDC_SpeedButton1:
        logic_.SpeedButton1Click();
        return;
    case IDC_SpeedButton2:
        logic_.SpeedButton2Click();
        return;
    case IDC_SpeedButton3:
        logic_.SpeedButton3Click();
        return;
    case IDC_SpeedButton4:
        logic_.SpeedButton4Click();
        return;
    case IDC_SpeedButton5:
        logic_.SpeedButton5Click();
        return;
    case IDC_SpeedButton6:
        logic_.SpeedButton6Click();
        return;
    default:
        break;
    }
    // A click on an OFF outlet lands on its outer panel, on an ON one on the inner panel.
    if (const int outlet = OutletOfPanel(id)) {
        if (id == OuterPanel(outlet))
            logic_.PB1Click(outlet);
        else
            logic_.PF1Click(outlet);
    }
}

// An outlet's key or an assistive tool's action: a click on the outlet as it shows now. A tool's
// action may come while a command runs or a box waits (the window is disabled then, but posted
// messages still arrive): it waits its turn, as a click would.
void TForm1::OnToggleOutlet(int outlet) {
    if (outlet < 1 || outlet > 4)
        return;
    if (handling_ > 1) {
        waitingToggles_.push_back(outlet);
        return;
    }
    if (OutletOn(outlet))
        logic_.PF1Click(outlet);
    else
        logic_.PB1Click(outlet);
}

void TForm1::TakeNextToggle() {
    if (waitingToggles_.empty() || !window_)
        return;
    PostMessageW(window_, ToggleOutlet, static_cast<WPARAM>(waitingToggles_.front()), 0);
    waitingToggles_.pop_front();
}

LRESULT TForm1::OnNotify(int id, NMHDR* header) {
    if (id == IDC_PageControl1 && header->code == TCN_SELCHANGE) {
        const int index = static_cast<int>(SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0));
        if (index == 1)
            BuildSchedulePage();
        ShowPage(index);
        logic_.PageControl1Change(index);
    }
    return 0;
}

// The form is white, its pages the desktop's face colour; the memo shows its group box's colour.
HBRUSH TForm1::OnControlColour(HDC dc, HWND control) {
    const bool onForm = GetParent(control) == window_;
    SetBkColor(dc, onForm ? RGB(255, 255, 255) : GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    return onForm ? white_.get() : face_.get();
}

// A close request while a command runs waits for it; then the window hides, saves the boxes
// and is destroyed, as the designed program exits.
// A close asked for before the window was made (while a start-up failure box is open; also one
// that waited in the queue until then, as its posting time tells) ends it without saving: nothing
// can have been typed yet, and a second box would keep the process waiting. A session that ended
// has saved the boxes already.
void TForm1::OnClose() {
    if (commandRunning_) {
        closePending_ = true;
        return;
    }
    ShowWindow(window_, SW_HIDE);
    const bool askedBeforeStart =
        !created_ || static_cast<LONG>(GetMessageTime() - static_cast<LONG>(createdAt_)) < 0;
    const bool save = !askedBeforeStart && !closed_;
    closed_ = true;
    if (save)
        logic_.FormDestroy();
    DestroyWindow(window_);
}

// Log-off and shutdown end the process without a close: the boxes are saved now, within the
// time Windows allows, as a close would save them.
void TForm1::OnEndSession(bool ending) {
    if (!ending || closed_)
        return;
    closed_ = true;
    logic_.FormDestroy();
}

// The keyboard focus goes back where it was when the window is activated again; at first to the
// address box, as a form gives it to its first tab stop, so that typing goes somewhere.
void TForm1::OnActivate(UINT state) {
    if (state == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus && IsChild(window_, focus))
            lastFocus_ = focus;
        return;
    }
    SetFocus(lastFocus_ && IsWindow(lastFocus_) ? lastFocus_ : Control(IDC_Edit1));
}

void TForm1::OnDestroy() {
    closed_ = true;
    if (running_)
        PostQuitMessage(0);
}

void TForm1::OnDpiChanged(UINT dpi, const RECT* suggested) {
    dpi_ = dpi;
    Rescale();
    SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace qdl::win32
