#include "Win32Window.h"

#include "ControlIds.h"
#include "DesktopOpener.h"
#include "FormParts.h"
#include "Panel.h"
#include "Wide.h"

#include <commctrl.h>

namespace qdl::win32 {

using platform::Narrow;
using platform::Wide;

namespace {

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

} // namespace

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
    outletKeys_ = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_OutletKeys));
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

int TForm1::Scaled(int length) const {
    return MulDiv(length, static_cast<int>(dpi_), 96);
}

std::wstring TForm1::Caption(int id) const {
    return StringResource(instance_, id);
}

HWND TForm1::Control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

bool TForm1::OutletKey(MSG& message) {
    return (message.hwnd == window_ || IsChild(window_, message.hwnd)) &&
           TranslateAcceleratorW(window_, outletKeys_, &message) != 0;
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
        if (OutletKey(message))
            continue;
        if (!Navigate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

} // namespace qdl::win32
