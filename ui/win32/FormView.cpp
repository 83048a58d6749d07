// The window logic's view of the main window: its boxes, indicators, pages and message boxes, and
// a command run off the window's thread.
#include "Win32Window.h"

#include "ControlIds.h"
#include "FormParts.h"
#include "Layout.h"
#include "Panel.h"
#include "Wide.h"

#include <commctrl.h>

#include <algorithm>
#include <future>
#include <thread>

namespace qdl::win32 {

using platform::Narrow;
using platform::Wide;

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

std::wstring StringResource(HINSTANCE module, int id) {
    const wchar_t* text = nullptr;
    const int size = LoadStringW(module, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    return size > 0 ? std::wstring(text, static_cast<std::size_t>(size)) : std::wstring();
}

namespace {

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
    ShowIndicatorLight(Control(OuterPanel(outlet)), on);
}

void TForm1::ShowDeviceIndicator(bool shown) {
    ShowIndicatorLight(Control(IDC_Panel2), shown);
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
