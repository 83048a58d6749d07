// Reads the running window from another process through MSAA, as a screen reader does: each
// control's object comes from AccessibleObjectFromWindow, its facts from accName, accRole,
// accState, accDefaultAction and accKeyboardShortcut, and an indicator is switched by
// accDoDefaultAction with its state-changed event awaited.
//
//   qdl-msaa-reader named          prints "ID<TAB>name" for every shown control a reader can
//                                  focus on the page that shows; exits 1 when one has no name
//   qdl-msaa-reader show CONTROL   prints "role=… name=… state=… action=… shortcut=…" of a
//                                  control given by its ID name (Edit1, PB3, Panel2, ComboBox4…)
//   qdl-msaa-reader toggle CONTROL does its default action, waits for its state-changed event
//                                  (EVENT_OBJECT_STATECHANGE), then prints it as show does
//
// A step that cannot be done prints why on standard error and exits 1.
#include "ControlNames.h"
#include "StepOutput.h"

#include <windows.h>

#include <oleacc.h>

#include <chrono>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr auto Patience = std::chrono::seconds(20);

const std::pair<long, const wchar_t*> Roles[] = {
    {ROLE_SYSTEM_CHECKBUTTON, L"checkbutton"}, {ROLE_SYSTEM_TEXT, L"text"},
    {ROLE_SYSTEM_STATUSBAR, L"statusbar"},     {ROLE_SYSTEM_COMBOBOX, L"combobox"},
    {ROLE_SYSTEM_PUSHBUTTON, L"pushbutton"},   {ROLE_SYSTEM_CLIENT, L"client"}};

const std::pair<long, const wchar_t*> States[] = {{STATE_SYSTEM_CHECKED, L"checked"},
                                                  {STATE_SYSTEM_MIXED, L"mixed"},
                                                  {STATE_SYSTEM_READONLY, L"readonly"},
                                                  {STATE_SYSTEM_INVISIBLE, L"invisible"}};

using qdl::test::Print;
using qdl::test::WriteLine;

[[noreturn]] void Fail(const std::wstring& why) {
    qdl::test::FailStep(L"qdl-msaa-reader", why);
}

// One object held, released when it goes.
class Held {
public:
    explicit Held(IAccessible* object) : object_(object) {}
    ~Held() {
        if (object_)
            object_->Release();
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    IAccessible* operator->() const { return object_; }

private:
    IAccessible* object_;
};

VARIANT Self() {
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    return self;
}

std::wstring Taken(BSTR text) {
    std::wstring taken = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return taken;
}

IAccessible* ObjectOf(HWND control) {
    IAccessible* object = nullptr;
    const HRESULT result = AccessibleObjectFromWindow(
        control, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible), reinterpret_cast<void**>(&object));
    if (FAILED(result) || object == nullptr) {
        wchar_t code[16];
        swprintf(code, std::size(code), L"%08lx", static_cast<unsigned long>(result));
        Fail(L"no accessible object for control " + std::to_wstring(GetDlgCtrlID(control)) + L" (" + code +
             L")");
    }
    return object;
}

long StateOf(const Held& object) {
    VARIANT state;
    VariantInit(&state);
    if (FAILED(object->get_accState(Self(), &state)) || state.vt != VT_I4)
        Fail(L"no state");
    return state.lVal;
}

std::wstring NameOf(const Held& object) {
    BSTR name = nullptr;
    object->get_accName(Self(), &name);
    return Taken(name);
}

std::wstring Described(HWND control) {
    const Held object(ObjectOf(control));
    VARIANT role;
    VariantInit(&role);
    object->get_accRole(Self(), &role);
    std::wstring roleName = role.vt == VT_I4 ? std::to_wstring(role.lVal) : L"?";
    for (const auto& [value, name] : Roles)
        if (role.vt == VT_I4 && role.lVal == value)
            roleName = name;
    const long state = StateOf(object);
    std::wstring states;
    for (const auto& [bit, name] : States)
        if (state & bit)
            states += (states.empty() ? L"" : L",") + std::wstring(name);
    BSTR action = nullptr, shortcut = nullptr;
    object->get_accDefaultAction(Self(), &action);
    object->get_accKeyboardShortcut(Self(), &shortcut);
    return L"role=" + roleName + L" name=" + NameOf(object) + L" state=" + states + L" action=" +
           Taken(action) + L" shortcut=" + Taken(shortcut);
}

HWND Form() {
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (std::chrono::steady_clock::now() < deadline) {
        if (HWND form = FindWindowW(L"QDL4816Form", nullptr))
            return form;
        Sleep(20);
    }
    Fail(L"the window is not open");
}

HWND Control(HWND form, const std::wstring& name) {
    if (const int id = qdl::test::ControlIdOf(name))
        if (HWND found = qdl::test::ControlOf(form, id))
            return found;
    Fail(L"no control " + name);
}

int ListNamed(HWND form) {
    std::vector<HWND> shown;
    EnumChildWindows(
        form,
        [](HWND child, LPARAM context) {
            // The window's own controls; the parts of a system control (a time picker's arrows)
            // are its object's business.
            if (IsWindowVisible(child) && GetDlgCtrlID(child) >= IDC_Label1)
                reinterpret_cast<std::vector<HWND>*>(context)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&shown));
    int unnamed = 0;
    for (HWND control : shown) {
        const Held object(ObjectOf(control));
        if (!(StateOf(object) & STATE_SYSTEM_FOCUSABLE))
            continue;
        const std::wstring name = NameOf(object);
        Print(std::to_wstring(GetDlgCtrlID(control)) + L"\t" + name);
        unnamed += name.empty() ? 1 : 0;
    }
    return unnamed == 0 ? 0 : 1;
}

HWND changed = nullptr;

void CALLBACK OnStateChange(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD) {
    if (object == OBJID_CLIENT && child == CHILDID_SELF)
        changed = window;
}

int Toggle(HWND control) {
    DWORD process = 0;
    GetWindowThreadProcessId(control, &process);
    const HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_STATECHANGE, nullptr,
                                               OnStateChange, process, 0, WINEVENT_OUTOFCONTEXT);
    if (!hook)
        Fail(L"cannot listen for state changes");
    {
        const Held object(ObjectOf(control));
        if (FAILED(object->accDoDefaultAction(Self())))
            Fail(L"the default action failed");
    }
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (changed != control) {
        if (std::chrono::steady_clock::now() > deadline)
            Fail(L"no state-changed event");
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    UnhookWinEvent(hook);
    Print(Described(control));
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        Fail(L"no COM");
    const std::wstring step = argc > 1 ? argv[1] : L"";
    const HWND form = Form();
    int result = 2;
    if (step == L"named" && argc == 2)
        result = ListNamed(form);
    else if (step == L"show" && argc == 3) {
        Print(Described(Control(form, argv[2])));
        result = 0;
    } else if (step == L"toggle" && argc == 3)
        result = Toggle(Control(form, argv[2]));
    else
        WriteLine(STD_ERROR_HANDLE, L"usage: qdl-msaa-reader named | show CONTROL | toggle CONTROL");
    CoUninitialize();
    return result;
}
