// The hints: tool tips over the controls that have one, and the status bar's text following the
// pointer.
#include "Win32Window.h"

#include "ControlIds.h"
#include "FormParts.h"

#include <commctrl.h>

namespace qdl::win32 {

// Hints show as tool tips; an indicator shows its outlet's.
void TForm1::AddToolTips() {
    toolTips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
    SendMessageW(toolTips_, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_.get()), TRUE);
    for (const auto& [id, control] : controls_) {
        std::wstring hint = HintOf(control);
        if (hint.empty() || id == IDC_PageControl1)
            continue;
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window_;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = hint.data();
        SendMessageW(toolTips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

// A control's hint, else its nearest enclosing control's; empty when none has one.
std::wstring TForm1::HintOf(HWND control) const {
    for (HWND at = control; at && at != window_; at = GetParent(at)) {
        const int id = GetDlgCtrlID(at);
        int hint = 0;
        if (id == IDC_SpeedButton1)
            hint = IDS_HintTransmit;
        else if (id == IDC_SpeedButton2)
            hint = IDS_HintWebControl;
        else if (id == IDC_SpeedButton6)
            hint = IDS_HintRefresh;
        else if (id >= IDC_PB1 && id <= IDC_PB4)
            hint = IDS_HintOutlet;
        if (hint)
            return Caption(hint);
    }
    return {};
}

void TForm1::FollowHint() {
    if (!window_ || !IsWindowEnabled(window_))
        return;
    POINT pointer;
    GetCursorPos(&pointer);
    HWND under = WindowFromPoint(pointer);
    const std::wstring hint = under && (under == window_ || IsChild(window_, under)) ? HintOf(under) : L"";
    if (hint != lastHint_) {
        lastHint_ = hint;
        SetStatus(hint);
    }
}

// No menu item has a hint: browsing the menus empties the status text like any control without one.
void TForm1::OnMenuSelect(HMENU menu, int, UINT flags) {
    if (menu == nullptr && flags == 0xFFFF)
        return;
    if (!lastHint_.empty()) {
        lastHint_.clear();
        SetStatus(L"");
    }
}

// The status bar's one panel, its text centred.
void TForm1::SetStatus(const std::wstring& text) {
    const std::wstring centred = L"\t" + text;
    SendMessageW(Control(IDC_StatusBar1), SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(centred.c_str()));
}

std::wstring TForm1::StatusText() const {
    HWND status = Control(IDC_StatusBar1);
    const auto length = LOWORD(SendMessageW(status, SB_GETTEXTLENGTHW, 0, 0));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
    text.resize(length);
    return text.rfind(L'\t', 0) == 0 ? text.substr(1) : text;
}

} // namespace qdl::win32
