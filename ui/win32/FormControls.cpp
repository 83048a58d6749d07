// Making the main window's controls and placing them: each from its place in the layout table.
#include "Win32Window.h"

#include "AccessibleFacts.h"
#include "AccessibleProxy.h"
#include "ControlIds.h"
#include "FormParts.h"
#include "Layout.h"
#include "Panel.h"

#include <commctrl.h>

#include <vector>

namespace qdl::win32 {
namespace {

constexpr int TypedPasswordLength = 8;

} // namespace

namespace {

SYSTEMTIME DesignedTime() {
    SYSTEMTIME time{};
    time.wYear = 2006;
    time.wMonth = 11;
    time.wDay = 27;
    time.wHour = 8;
    time.wMinute = 5;
    time.wSecond = 5;
    return time;
}

// A speed button never takes the keyboard focus: a click leaves it where it was.
LRESULT CALLBACK NoFocusButton(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_SETFOCUS) {
        const auto previous = reinterpret_cast<HWND>(wParam);
        if (previous && IsWindow(previous))
            SetFocus(previous);
        return 0;
    }
    return DefSubclassProc(button, message, wParam, lParam);
}

// The dialog manager selects an edit box's whole text when Tab brings the focus to it; none of
// the window's boxes does, so that a typed character never replaces a whole address.
LRESULT CALLBACK NoSelectOnTab(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
    return message == WM_GETDLGCODE ? result & ~DLGC_HASSETSEL : result;
}

std::vector<std::wstring> Split(const std::wstring& text) {
    std::vector<std::wstring> items;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(L'|', start);
        items.push_back(text.substr(start, end == std::wstring::npos ? end : end - start));
        if (end == std::wstring::npos)
            return items;
        start = end + 1;
    }
}

} // namespace

// Each child made lies below the ones made before it, which gives the tab order; the group box
// then goes below the controls it frames. The Schedule page's rows are made when it is first
// chosen: under wine its lists and pickers took most of the start-up.
void TForm1::CreateControls() {
    for (const ControlSpec& spec : Controls())
        if (spec.In != Parent::Page2)
            CreateControl(spec);
    SetWindowPos(Control(IDC_GroupBox1), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowPage(0);
}

void TForm1::BuildSchedulePage() {
    if (Control(IDC_SpeedButton5))
        return;
    for (const ControlSpec& spec : Controls())
        if (spec.In == Parent::Page2)
            CreateControl(spec);
}

void TForm1::CreateControl(const ControlSpec& spec) {
    HWND parent = window_;
    if (spec.In == Parent::Page1)
        parent = Control(IDC_TabSheet1);
    else if (spec.In == Parent::Page2)
        parent = Control(IDC_TabSheet2);
    else if (spec.In == Parent::Outer)
        parent = Control(spec.OuterId);
    const wchar_t* className = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, extended = 0;
    std::wstring text = Caption(spec.Id);
    switch (spec.What) {
    case Kind::Label:
        style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
        break;
    case Kind::Edit:
        className = L"EDIT";
        style |= WS_TABSTOP | ES_AUTOHSCROLL;
        extended = WS_EX_CLIENTEDGE;
        break;
    case Kind::Button:
        className = L"BUTTON";
        style |= BS_PUSHBUTTON;
        break;
    case Kind::Tabs:
        className = WC_TABCONTROLW;
        style |= TCS_FOCUSNEVER;
        text.clear();
        break;
    case Kind::Page:
        // Not clipping its children: the group box paints only its frame, the page what is inside.
        className = PageClass;
        style &= ~WS_VISIBLE;
        extended = WS_EX_CONTROLPARENT;
        text.clear();
        break;
    case Kind::StatusBar:
        className = STATUSCLASSNAMEW;
        style |= CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
        text.clear();
        break;
    case Kind::GroupBox:
        className = L"BUTTON";
        style |= BS_GROUPBOX;
        break;
    case Kind::Panel:
        className = PanelClass;
        // The indicators start hidden: every outlet OFF, the device not yet heard from.
        if (spec.In == Parent::Outer)
            style &= ~WS_VISIBLE;
        text.clear();
        break;
    case Kind::Memo:
        className = L"EDIT";
        style |= ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL;
        extended = WS_EX_CLIENTEDGE;
        break;
    case Kind::DatePicker:
    case Kind::TimePicker:
        className = DATETIMEPICK_CLASSW;
        style |= WS_TABSTOP | (spec.What == Kind::DatePicker ? DTS_SHORTDATEFORMAT : DTS_TIMEFORMAT);
        text.clear();
        break;
    case Kind::List:
        className = WC_COMBOBOXW;
        style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
        text.clear();
        break;
    }
    // Made where it belongs, in its font, so that nothing is laid out twice.
    const RECT place = PlaceOf(spec);
    HWND control =
        CreateWindowExW(extended, className, text.c_str(), style, place.left, place.top,
                        place.right - place.left, place.bottom - place.top, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.Id)), instance_, nullptr);
    controls_[spec.Id] = control;
    SetFont(spec.Id, false);
    SetUpControl(control, spec);
    if (FactsOf(control) && spec.What != Kind::Panel)
        AnswerAssistiveTools(control);
    if (spec.What == Kind::Page || spec.What == Kind::List)
        PlaceControl(spec);
}

void TForm1::SetUpControl(HWND control, const ControlSpec& spec) {
    switch (spec.What) {
    case Kind::Button:
        SetWindowSubclass(control, NoFocusButton, 0, 0);
        break;

    case Kind::Edit:
        // Typing stops at 8 characters; a longer text the program sets is shown in full.
        if (spec.Id == IDC_Edit4)
            SendMessageW(control, EM_LIMITTEXT, TypedPasswordLength, 0);
        SetWindowSubclass(control, NoSelectOnTab, 0, 0);
        break;
    case Kind::Tabs:
        for (int page : {IDC_TabSheet1, IDC_TabSheet2}) {
            std::wstring title = Caption(page);
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = title.data();
            SendMessageW(control, TCM_INSERTITEMW, static_cast<WPARAM>(page - IDC_TabSheet1),
                         reinterpret_cast<LPARAM>(&item));
        }
        break;
    case Kind::StatusBar: {
        int part = -1;
        SendMessageW(control, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&part));
        break;
    }
    case Kind::DatePicker:
    case Kind::TimePicker: {
        SendMessageW(control, DTM_SETFORMATW, 0,
                     reinterpret_cast<LPARAM>(spec.What == Kind::DatePicker ? L"yyyy/MM/dd" : L"HH:mm:ss"));
        SYSTEMTIME designed = DesignedTime();
        SendMessageW(control, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&designed));
        break;
    }
    case Kind::List: {
        const bool modes = (spec.Id - IDC_ComboBox1) % 2 == 0;
        for (const std::wstring& item : Split(Caption(modes ? IDC_ComboBox1 : IDC_ComboBox2)))
            SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        SendMessageW(control, CB_SETCURSEL, 0, 0);
        break;
    }
    default:
        break;
    }
}

// Where a control goes, in pixels on this window's monitor: the pages fill the tab control's
// display area; a list's height is that of its open list, six items.
RECT TForm1::PlaceOf(const ControlSpec& spec) const {
    if (spec.What == Kind::Page) {
        HWND tabs = Control(IDC_PageControl1);
        RECT area;
        GetClientRect(tabs, &area);
        SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
        MapWindowPoints(tabs, window_, reinterpret_cast<POINT*>(&area), 2);
        return area;
    }
    const int height = spec.What == Kind::List ? Scaled(spec.Height + 6 * 16) : Scaled(spec.Height);
    return {Scaled(spec.X), Scaled(spec.Y), Scaled(spec.X) + Scaled(spec.Width), Scaled(spec.Y) + height};
}

void TForm1::PlaceControl(const ControlSpec& spec) {
    HWND control = Control(spec.Id);
    // The pages go above the tab control they lie on; the others keep their tab order.
    const RECT place = PlaceOf(spec);
    SetWindowPos(control, spec.What == Kind::Page ? HWND_TOP : nullptr, place.left, place.top,
                 place.right - place.left, place.bottom - place.top,
                 SWP_NOACTIVATE | (spec.What == Kind::Page ? 0 : SWP_NOZORDER));
    // The box is as high as designed.
    if (spec.What == Kind::List)
        SendMessageW(control, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), Scaled(spec.Height) - 6);
}

void TForm1::ShowPage(int index) {
    ShowWindow(Control(IDC_TabSheet1), index == 0 ? SW_SHOW : SW_HIDE);
    ShowWindow(Control(IDC_TabSheet2), index == 1 ? SW_SHOW : SW_HIDE);
}

} // namespace qdl::win32
