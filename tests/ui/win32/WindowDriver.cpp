// Drives the running window from another process, as a user or an assistive tool would reach it:
// it finds the window by its class, each control by its ID, and reads and clicks them through
// messages the system carries between processes. One step per call; the scripts chain them.
//
//   qdl-window-driver shown             waits until the window is shown and ready for input, or
//                                       a message box of it opened
//   qdl-window-driver type NAME TEXT    sets the text of an edit box
//   qdl-window-driver click NAME        clicks a button or an outlet panel, then waits for the
//                                       window to be ready again (or a message box to open)
//   qdl-window-driver page N            chooses the tab page N (0 or 1), then waits the same way
//   qdl-window-driver menu NAME         chooses a menu item (CloseX1, Tarnwell1, Corvanti1)
//   qdl-window-driver text NAME         prints a control's text
//   qdl-window-driver outlets           prints the four outlets as the window shows them, 1 for
//                                       ON (its inner panel PFn shown), 0 for OFF
//   qdl-window-driver selected NAME     prints a list's selected index, -1 for none
//   qdl-window-driver box               waits for a message box, prints its title on one line
//                                       and its text below, and presses its OK
//   qdl-window-driver closed            waits until the window is gone
//   qdl-window-driver focus             prints the name of the control with the keyboard focus
//   qdl-window-driver tab               presses Tab in the control with the focus
//   qdl-window-driver selection NAME    prints an edit box's selection as "start end"
//   qdl-window-driver pair PORT1 PORT2  two windows open at once: waits until both are shown and
//                                       ready, sets their HTTP port boxes (in the order the system
//                                       lists them; "-" keeps a box), closes both at the same
//                                       moment, and answers every message box they open, printing
//                                       "box after N ms: TEXT", until both are gone
//   qdl-window-driver pointer X Y       puts the mouse pointer at screen position X, Y: the status
//                                       bar shows the hint of the control under it, so a check
//                                       of the status bar parks it away from the window first
//
// A step that cannot be done (no window, a control it lacks, a window that stays busy) prints
// why on standard error and exits 1.
#include "ControlNames.h"
#include "StepOutput.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

const wchar_t* const FormClass = L"QDL4816Form";
constexpr auto Patience = std::chrono::seconds(30);
constexpr UINT ReplyWithin = 5000; // milliseconds a sent message may take

using qdl::test::ControlFamilies;
using qdl::test::ControlFamily;
using qdl::test::ControlOf;
using qdl::test::NamedControl;
using qdl::test::SingleControls;

const NamedControl MenuItems[] = {
    {L"CloseX1", IDM_CloseX1}, {L"Tarnwell1", IDM_Tarnwell1}, {L"Corvanti1", IDM_Corvanti1}};

using qdl::test::Print;
using qdl::test::WriteLine;

[[noreturn]] void Fail(const std::wstring& why) {
    qdl::test::FailStep(L"qdl-window-driver", why);
}

template <typename Condition> bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

HWND Form() {
    return FindWindowW(FormClass, nullptr);
}

HWND RequireForm() {
    HWND form = Form();
    if (!form)
        Fail(L"the window is not open");
    return form;
}

int IdOf(const std::wstring& name) {
    if (const int id = qdl::test::ControlIdOf(name))
        return id;
    Fail(L"no control is named " + name);
}

HWND Control(const std::wstring& name) {
    HWND control = ControlOf(RequireForm(), IdOf(name));
    if (!control)
        Fail(L"the window has no control " + name);
    return control;
}

std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, ReplyWithin, &length))
        Fail(L"the window does not answer");
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, ReplyWithin, &copied);
    text.resize(copied);
    return text;
}

// Every window of the program that is open.
std::vector<HWND> Forms() {
    std::vector<HWND> forms;
    for (HWND form = FindWindowExW(nullptr, nullptr, FormClass, nullptr); form;
         form = FindWindowExW(nullptr, form, FormClass, nullptr))
        forms.push_back(form);
    return forms;
}

// A visible message box of one of these processes.
HWND MessageBoxOf(const std::vector<DWORD>& processes) {
    for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box;
         box = FindWindowExW(nullptr, box, L"#32770", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        if (IsWindowVisible(box) && std::find(processes.begin(), processes.end(), owner) != processes.end())
            return box;
    }
    return nullptr;
}

// A message box of the window's process, if one is open.
HWND MessageBoxOfWindow() {
    DWORD process = 0;
    GetWindowThreadProcessId(RequireForm(), &process);
    return MessageBoxOf({process});
}

// The window takes input again, its thread has handled everything sent before, or a box waits for
// an answer.
void WaitUntilReady() {
    const bool ready = WaitFor([] {
        HWND form = Form();
        if (!form || MessageBoxOfWindow())
            return true;
        DWORD_PTR ignored = 0;
        return IsWindowEnabled(form) &&
               SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, ReplyWithin, &ignored) &&
               IsWindowEnabled(form);
    });
    if (!ready)
        Fail(L"the window stayed busy");
}

// A real click reaches no window that a box or a running command disabled.
void RequireEnabled() {
    if (!IsWindowEnabled(RequireForm()))
        Fail(L"the window is disabled: a box is open or a command runs");
}

void Click(const std::wstring& name) {
    RequireEnabled();
    HWND control = Control(name);
    wchar_t className[64] = L"";
    GetClassNameW(control, className, 64);
    if (_wcsicmp(className, WC_BUTTONW) == 0) {
        SendNotifyMessageW(control, BM_CLICK, 0, 0);
    } else {
        PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }
    WaitUntilReady();
}

void ChoosePage(int page) {
    RequireEnabled();
    // Only a change of focus tells the window, as a click on the tab would.
    SendNotifyMessageW(Control(L"PageControl1"), TCM_SETCURFOCUS, static_cast<WPARAM>(page), 0);
    WaitUntilReady();
}

void ChooseMenu(const std::wstring& name) {
    RequireEnabled();
    for (const NamedControl& item : MenuItems)
        if (name == item.Name) {
            PostMessageW(RequireForm(), WM_COMMAND, MAKEWPARAM(item.Id, 0), 0);
            WaitUntilReady();
            return;
        }
    Fail(L"no menu item is named " + name);
}

// The text of a message box: its static control (its icon is a static without text).
std::wstring BoxText(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[64] = L"";
        GetClassNameW(child, className, 64);
        if (_wcsicmp(className, WC_STATICW) == 0) {
            std::wstring text = TextOf(child);
            if (!text.empty())
                return text;
        }
    }
    return L"";
}

void AnswerBox() {
    HWND box = nullptr;
    if (!WaitFor([&box] { return (box = MessageBoxOfWindow()) != nullptr; }))
        Fail(L"no message box opened");
    Print(TextOf(box));
    Print(BoxText(box));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    if (!WaitFor([box] { return !IsWindow(box); }))
        Fail(L"the message box did not close");
    WaitUntilReady();
}

void ClosePair(const std::wstring& firstPort, const std::wstring& secondPort) {
    std::vector<HWND> forms;
    if (!WaitFor([&forms] {
            forms = Forms();
            return forms.size() == 2 && IsWindowVisible(forms[0]) && IsWindowVisible(forms[1]);
        }))
        Fail(L"two windows did not show");
    std::vector<DWORD> processes;
    const std::wstring ports[] = {firstPort, secondPort};
    for (std::size_t i = 0; i < forms.size(); ++i) {
        DWORD process = 0;
        GetWindowThreadProcessId(forms[i], &process);
        processes.push_back(process);
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutW(forms[i], WM_NULL, 0, 0, SMTO_ABORTIFHUNG, ReplyWithin, &ignored))
            Fail(L"a window stayed busy");
        if (ports[i] != L"-")
            SendMessageTimeoutW(ControlOf(forms[i], IDC_Edit2), WM_SETTEXT, 0,
                                reinterpret_cast<LPARAM>(ports[i].c_str()), SMTO_ABORTIFHUNG, ReplyWithin,
                                &ignored);
    }
    const auto closing = std::chrono::steady_clock::now();
    for (HWND form : forms)
        PostMessageW(form, WM_CLOSE, 0, 0);
    const bool gone = WaitFor([&] {
        if (HWND box = MessageBoxOf(processes)) {
            const auto after = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - closing);
            Print(L"box after " + std::to_wstring(after.count()) + L" ms: " + BoxText(box));
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            WaitFor([box] { return !IsWindow(box) || !IsWindowVisible(box); });
        }
        return std::none_of(forms.begin(), forms.end(), [](HWND form) { return IsWindow(form); });
    });
    if (!gone)
        Fail(L"the windows stayed open");
}

// The control with the window thread's keyboard focus.
HWND FocusOf(HWND form) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &info);
    return info.hwndFocus;
}

std::wstring NameOf(HWND control) {
    const int id = control ? GetDlgCtrlID(control) : 0;
    for (const NamedControl& single : SingleControls)
        if (id == single.Id)
            return single.Name;
    for (const ControlFamily& family : ControlFamilies)
        if (id >= family.FirstId && id < family.FirstId + family.Count)
            return family.Prefix + std::to_wstring(id - family.FirstId + 1);
    return L"none";
}

void PressTab() {
    HWND focus = FocusOf(RequireForm());
    if (!focus)
        Fail(L"no control has the focus");
    PostMessageW(focus, WM_KEYDOWN, VK_TAB, 0x000F0001);
    PostMessageW(focus, WM_KEYUP, VK_TAB, 0xC00F0001);
    WaitUntilReady();
}

std::wstring Outlets() {
    std::wstring shown;
    for (const wchar_t* name : {L"PF1", L"PF2", L"PF3", L"PF4"})
        shown += IsWindowVisible(Control(name)) ? L'1' : L'0';
    return shown;
}

} // namespace

int wmain(int argc, wchar_t* argv[]) {
    const std::wstring step = argc > 1 ? argv[1] : L"";
    auto argument = [&](int index) -> std::wstring {
        if (index >= argc)
            Fail(step + L" needs more arguments");
        return argv[index];
    };
    if (step == L"shown") {
        // A box about the settings file may open before the window shows.
        if (!WaitFor([] {
                HWND form = Form();
                return form && (IsWindowVisible(form) || MessageBoxOfWindow());
            }))
            Fail(L"the window did not show");
        WaitUntilReady();
    } else if (step == L"type") {
        RequireEnabled();
        DWORD_PTR ignored = 0;
        const std::wstring text = argument(3);
        SendMessageTimeoutW(Control(argument(2)), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                            SMTO_ABORTIFHUNG, ReplyWithin, &ignored);
    } else if (step == L"click") {
        Click(argument(2));
    } else if (step == L"page") {
        ChoosePage(_wtoi(argument(2).c_str()));
    } else if (step == L"menu") {
        ChooseMenu(argument(2));
    } else if (step == L"text") {
        Print(TextOf(Control(argument(2))));
    } else if (step == L"outlets") {
        Print(Outlets());
    } else if (step == L"selected") {
        DWORD_PTR selected = 0;
        SendMessageTimeoutW(Control(argument(2)), CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, ReplyWithin,
                            &selected);
        Print(std::to_wstring(static_cast<LRESULT>(selected)));
    } else if (step == L"box") {
        AnswerBox();
    } else if (step == L"focus") {
        Print(NameOf(FocusOf(RequireForm())));
    } else if (step == L"tab") {
        PressTab();
    } else if (step == L"selection") {
        DWORD_PTR selection = 0;
        SendMessageTimeoutW(Control(argument(2)), EM_GETSEL, 0, 0, SMTO_ABORTIFHUNG, ReplyWithin, &selection);
        Print(std::to_wstring(LOWORD(selection)) + L" " + std::to_wstring(HIWORD(selection)));
    } else if (step == L"pair") {
        ClosePair(argument(2), argument(3));
    } else if (step == L"pointer") {
        if (!SetCursorPos(_wtoi(argument(2).c_str()), _wtoi(argument(3).c_str())))
            Fail(L"the pointer cannot be moved");
    } else if (step == L"closed") {
        if (!WaitFor([] { return Form() == nullptr; }))
            Fail(L"the window stayed open");
    } else {
        Fail(L"no step is named '" + step + L"'; see the top of WindowDriver.cpp");
    }
    return 0;
}
