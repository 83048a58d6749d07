#include "Win32Window.h"

#include "ControlIds.h"
#include "DesktopOpener.h"
#include "FailureIn.h"
#include "Layout.h"
#include "Panel.h"
#include "Wide.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cwchar>
#include <future>
#include <thread>

namespace qdl::win32 {
namespace {

const wchar_t* const FormClass = L"QDL4816Form";
const wchar_t* const PageClass = L"QDL4816Page";
constexpr UINT CommandDone = WM_APP + 1;
constexpr UINT AddHints = WM_APP + 2;
constexpr int TypedPasswordLength = 8;

using platform::Narrow;
using platform::Wide;

TForm1* Self(HWND window) {
    return reinterpret_cast<TForm1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The monitor's DPI where the system can tell it per window (Windows 10 and later), else the
// system's.
UINT DpiOf(HWND window) {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (dpiForWindow && window)
        return dpiForWindow(window);
    WindowDc screen(nullptr);
    return static_cast<UINT>(GetDeviceCaps(screen.get(), LOGPIXELSX));
}

Font CreateFace(const wchar_t* face, int pixels, bool fixedPitch) {
    return Font(CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            static_cast<BYTE>((fixedPitch ? FIXED_PITCH : VARIABLE_PITCH) | FF_DONTCARE),
                            face));
}

// The face the system really uses for a font: a font it lacks is quietly replaced.
std::wstring RealisedFace(HFONT font) {
    WindowDc screen(nullptr);
    const HGDIOBJ before = SelectObject(screen.get(), font);
    wchar_t face[LF_FACESIZE] = L"";
    GetTextFaceW(screen.get(), LF_FACESIZE, face);
    SelectObject(screen.get(), before);
    return face;
}

// The first of the faces the machine has: the designed Japanese font (by its Japanese and its
// English name), else one with the same glyphs (the Japanese fonts of wine or of a Linux desktop
// under wine). A fallback's Latin letters run wider than the designed font's: a size one pixel
// smaller keeps every caption within its control.
Font MakeFont(const std::initializer_list<const wchar_t*>& designed,
              const std::initializer_list<const wchar_t*>& fallbacks, int designedPixels, int fallbackPixels,
              bool fixedPitch) {
    for (const wchar_t* face : designed) {
        Font font = CreateFace(face, designedPixels, fixedPitch);
        if (_wcsicmp(RealisedFace(font.get()).c_str(), face) == 0)
            return font;
    }
    for (const wchar_t* face : fallbacks) {
        Font font = CreateFace(face, fallbackPixels, fixedPitch);
        if (_wcsicmp(RealisedFace(font.get()).c_str(), face) == 0)
            return font;
    }
    return CreateFace(*designed.begin(), fallbackPixels, fixedPitch);
}

// A failure's text as the user should read it: UTF-8 where it is valid UTF-8, else the system's
// code page (a switch may answer in it).
std::wstring DisplayText(const std::string& bytes) {
    if (bytes.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                         static_cast<int>(bytes.size()), nullptr, 0);
    if (size > 0)
        return Wide(bytes);
    const int ansi = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(ansi), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), ansi);
    return text;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

void ShowStopBox(HWND owner, const std::wstring& caption, const std::wstring& text, bool onScreen) {
    MessageBoxW(onScreen ? nullptr : owner, text.c_str(), caption.c_str(),
                MB_OK | MB_ICONSTOP | (onScreen ? MB_TASKMODAL : 0));
}

std::string ProgramName(HINSTANCE instance) {
    wchar_t path[MAX_PATH * 4];
    const DWORD size = GetModuleFileNameW(instance, path, static_cast<DWORD>(std::size(path)));
    std::wstring name(path, size);
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return Narrow(name.substr(0, name.find_last_of(L'.')));
}

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

// Keys that would change a box: while a command runs they are dropped, so that nothing typed
// then is saved without having been seen.
bool TypesIntoBox(const MSG& message) {
    switch (message.message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_DEADCHAR:
    case WM_IME_CHAR:
    case WM_IME_COMPOSITION:
    case WM_IME_STARTCOMPOSITION:
    case WM_PASTE:
        return true;
    default:
        return false;
    }
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
    LRESULT result = message == WM_CREATE ? -1 : 0;
    const auto failure = ui::FailureIn([&] { result = form->Dispatch(window, message, wParam, lParam); });
    if (failure)
        form->ShowFailureBox(ui::WindowLogic::ApplicationTitle, ui::WindowLogic::MessageBoxText(*failure));
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

TForm1::TForm1(HINSTANCE instance, DesktopHooks hooks)
    : instance_(instance), hooks_(std::move(hooks)), white_(CreateSolidBrush(RGB(255, 255, 255))),
      face_(CreateSolidBrush(GetSysColor(COLOR_BTNFACE))), logic_(*this, ProgramName(nullptr)) {
    if (!hooks_.ShowBox)
        hooks_.ShowBox = ShowStopBox;
    if (!hooks_.OpenPage)
        hooks_.OpenPage = [](const std::string& url, HWND owner) { return OpenWithShell(url, owner); };
    INITCOMMONCONTROLSEX common{};
    common.dwSize = sizeof common;
    common.dwICC =
        ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_DATE_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&common);
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = FormProcedure;
    form.hInstance = instance;
    form.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_Application));
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    form.lpszClassName = FormClass;
    RegisterClassExW(&form);
    WNDCLASSEXW page{};
    page.cbSize = sizeof page;
    page.lpfnWndProc = PageProcedure;
    page.hInstance = instance;
    page.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    page.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    page.lpszClassName = PageClass;
    RegisterClassExW(&page);
    RegisterPanelClass(instance);

    // A fixed-size window: system menu and minimise only.
    CreateWindowExW(WS_EX_CONTROLPARENT, FormClass, Caption(IDS_Title).c_str(),
                    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                    LoadMenuW(instance, MAKEINTRESOURCEW(IDR_MainMenu)), instance, this);
    logic_.FormCreate();
    created_ = true;
    createdAt_ = GetTickCount();
}

TForm1::~TForm1() {
    if (window_ && !closed_) {
        logic_.FormDestroy();
        DestroyWindow(window_);
    }
    if (toolTips_)
        DestroyWindow(toolTips_);
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

int TForm1::Scaled(int length) const {
    return MulDiv(length, static_cast<int>(dpi_), 96);
}

std::wstring TForm1::Caption(int id) const {
    const wchar_t* text = nullptr;
    const int size = LoadStringW(instance_, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    return size > 0 ? std::wstring(text, static_cast<std::size_t>(size)) : std::wstring();
}

HWND TForm1::Control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

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

// The designed fonts, 13 pixels high at 96 dpi, else fonts with the same Japanese glyphs.
void TForm1::MakeFonts() {
    windowFont_ = MakeFont({L"ＭＳ Ｐゴシック", L"MS PGothic"},
                           {L"MS UI Gothic", L"IPAPGothic", L"IPAGothic"}, Scaled(13), Scaled(12), false);
    memoFont_ = MakeFont({L"ＭＳ ゴシック", L"MS Gothic"}, {L"IPAGothic"}, Scaled(13), Scaled(13), true);
}

void TForm1::SetFont(int id, bool redraw) {
    SendMessageW(Control(id), WM_SETFONT,
                 reinterpret_cast<WPARAM>(id == IDC_Memo1 ? memoFont_.get() : windowFont_.get()), redraw);
}

// Fonts and places anew, for a monitor of another DPI.
void TForm1::Rescale() {
    MakeFonts();
    for (const auto& entry : controls_)
        SetFont(entry.first, true);
    if (toolTips_)
        SendMessageW(toolTips_, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_.get()), TRUE);
    for (const ControlSpec& spec : Controls())
        if (Control(spec.Id))
            PlaceControl(spec);
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

void TForm1::ShowPage(int index) {
    ShowWindow(Control(IDC_TabSheet1), index == 0 ? SW_SHOW : SW_HIDE);
    ShowWindow(Control(IDC_TabSheet2), index == 1 ? SW_SHOW : SW_HIDE);
}

void TForm1::OnCommand(int id, HWND, UINT code) {
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

bool TForm1::Navigate(MSG& message) {
    return IsDialogMessageW(window_, &message) != FALSE;
}

int TForm1::Run() {
    // A close that came before the loop (while a start-up failure box was open) ended the window.
    if (closed_)
        return 0;
    running_ = true;
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    MSG message;
    for (;;) {
        while (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            FollowHint();
            WaitMessage();
        }
        if (message.message == WM_QUIT)
            return static_cast<int>(message.wParam);
        if (!Navigate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

// WindowView

namespace {

int BoxId(ui::Box box) {
    switch (box) {
    case ui::Box::Edit1:
        return IDC_Edit1;
    case ui::Box::Edit2:
        return IDC_Edit2;
    case ui::Box::Edit3:
        return IDC_Edit3;
    case ui::Box::Edit4:
        break;
    }
    return IDC_Edit4;
}

bool Shown(HWND control) {
    return (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

// An index the list does not have leaves it with nothing selected: past the end the list keeps
// its old selection, so -1 clears it.
void Select(HWND list, int index) {
    const auto count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index >= 0 && index < count ? index : -1), 0);
}

} // namespace

std::string TForm1::BoxText(ui::Box box) const {
    return Narrow(WindowText(Control(BoxId(box))));
}

void TForm1::SetBoxText(ui::Box box, const std::string& text) {
    SetWindowTextW(Control(BoxId(box)), Wide(text).c_str());
}

bool TForm1::OutletOn(int outlet) const {
    return Shown(Control(InnerPanel(outlet)));
}

void TForm1::ShowOutlet(int outlet, bool on) {
    ShowWindow(Control(InnerPanel(outlet)), on ? SW_SHOWNA : SW_HIDE);
}

void TForm1::ShowDeviceIndicator(bool shown) {
    ShowWindow(Control(IDC_PPW), shown ? SW_SHOWNA : SW_HIDE);
}

void TForm1::SetStatusText(const std::string& text) {
    SetStatus(Wide(text));
}

Date TForm1::RowDate(int row) const {
    SYSTEMTIME time{};
    SendMessageW(Control(ScheduleRow(row).DatePicker), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time));
    return {time.wYear, time.wMonth, time.wDay};
}

Time TForm1::RowTime(int row) const {
    SYSTEMTIME time{};
    SendMessageW(Control(ScheduleRow(row).TimePicker), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time));
    return {time.wHour, time.wMinute, time.wSecond, 0};
}

int TForm1::RowMode(int row) const {
    return static_cast<int>(SendMessageW(Control(ScheduleRow(row).ModeList), CB_GETCURSEL, 0, 0));
}

int TForm1::RowOnOff(int row) const {
    return static_cast<int>(SendMessageW(Control(ScheduleRow(row).OnOffList), CB_GETCURSEL, 0, 0));
}

// A picker may take a date it cannot show and keep its old one silently: the date read back
// tells.
bool TForm1::SetRowDate(int row, const Date& date) {
    HWND picker = Control(ScheduleRow(row).DatePicker);
    SYSTEMTIME before{};
    SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&before));
    SYSTEMTIME wanted = before;
    wanted.wYear = static_cast<WORD>(std::clamp(date.Year, 0, 65535));
    wanted.wMonth = static_cast<WORD>(date.Month);
    wanted.wDay = static_cast<WORD>(date.Day);
    wanted.wDayOfWeek = 0;
    SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&wanted));
    SYSTEMTIME shown{};
    SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&shown));
    if (shown.wYear == wanted.wYear && shown.wMonth == wanted.wMonth && shown.wDay == wanted.wDay)
        return true;
    SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&before));
    return false;
}

void TForm1::SetRowTime(int row, const Time& time) {
    HWND picker = Control(ScheduleRow(row).TimePicker);
    SYSTEMTIME shown{};
    SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&shown));
    shown.wHour = static_cast<WORD>(time.Hour);
    shown.wMinute = static_cast<WORD>(time.Minute);
    shown.wSecond = static_cast<WORD>(time.Second);
    shown.wMilliseconds = static_cast<WORD>(time.Millisecond);
    SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&shown));
}

void TForm1::SetRowMode(int row, int index) {
    Select(Control(ScheduleRow(row).ModeList), index);
}

void TForm1::SetRowOnOff(int row, int index) {
    Select(Control(ScheduleRow(row).OnOffList), index);
}

void TForm1::ShowFailureBox(const std::string& caption, const std::string& text) {
    hooks_.ShowBox(window_, Wide(caption), DisplayText(text), false);
}

void TForm1::ShowUrlErrorBox(const std::string& caption, const std::string& text) {
    hooks_.ShowBox(window_, Wide(caption), DisplayText(text), true);
}

bool TForm1::OpenPage(const std::string& url) {
    return hooks_.OpenPage(url, window_);
}

// The command runs on a worker thread; this thread goes on painting, with the window disabled so
// that user input waits, until the worker posts its end.
bool TForm1::RunCommand(const std::function<bool()>& command) {
    std::packaged_task<bool()> task(command);
    std::future<bool> result = task.get_future();
    const HWND window = window_;
    const HWND focus = GetFocus();
    std::thread worker([&task, window] {
        task();
        PostMessageW(window, CommandDone, 0, 0);
    });
    commandRunning_ = true;
    EnableWindow(window_, FALSE);
    MSG message;
    bool quit = false;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            continue;
        }
        if (got < 0 || (message.hwnd == window_ && message.message == CommandDone))
            break;
        if (TypesIntoBox(message) && IsChild(window_, message.hwnd))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    worker.join();
    EnableWindow(window_, TRUE);
    if (focus && IsWindow(focus))
        SetFocus(focus);
    commandRunning_ = false;
    if (quit)
        PostQuitMessage(0);
    if (closePending_) {
        closePending_ = false;
        PostMessageW(window_, WM_CLOSE, 0, 0);
    }
    return result.get();
}

void TForm1::CloseWindow() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
}

} // namespace qdl::win32
