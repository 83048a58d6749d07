#include "AccessibleProxy.h"

#include "AccessibleFacts.h"
#include "FormParts.h"
#include "Panel.h"

#include <commctrl.h>
#include <oleacc.h>

#include <atomic>
#include <utility>

namespace qdl::win32 {
namespace {

bool IsSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

HRESULT Answer(const std::wstring& text, BSTR* out) {
    if (out == nullptr)
        return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// One control's object: its own answers where FactsOf has them, the system's object's elsewhere.
// It holds the control by its handle only, so a tool that keeps it after the window is gone is
// told so, and nothing dangles.
class AccessibleProxy final : public IAccessible, public IOleWindow {
public:
    AccessibleProxy(HWND control, AccessibleFacts facts, IAccessible* standard)
        : control_(control), facts_(std::move(facts)), standard_(standard) {}
    AccessibleProxy(const AccessibleProxy&) = delete;
    AccessibleProxy& operator=(const AccessibleProxy&) = delete;

    // IUnknown: the indicators are one object each, without children; other controls hand their
    // children's enumeration to the system's object.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible))
            *out = static_cast<IAccessible*>(this);
        else if (iid == __uuidof(IOleWindow))
            *out = static_cast<IOleWindow*>(this);
        else if (!IsIndicator())
            return standard_->QueryInterface(iid, out);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    // IOleWindow: which window this object is (WindowFromAccessibleObject).
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (window == nullptr)
            return E_POINTER;
        *window = control_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return standard_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return standard_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return standard_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argument) override {
        return standard_->Invoke(id, iid, locale, flags, parameters, result, exception, argument);
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return standard_->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (!IsIndicator())
            return standard_->get_accChildCount(count);
        if (count == nullptr)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (!IsIndicator())
            return standard_->get_accChild(child, out);
        return IsSelf(child) ? standard_->get_accChild(child, out) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!IsSelf(child) || facts_.Name.empty())
            return standard_->get_accName(child, name);
        return Connected() ? Answer(facts_.Name, name) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return standard_->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        if (!IsSelf(child) || facts_.Description.empty())
            return standard_->get_accDescription(child, description);
        return Connected() ? Answer(facts_.Description, description) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        const long own = IsIndicator() ? ROLE_SYSTEM_CHECKBUTTON : facts_.Role;
        if (!IsSelf(child) || own == 0)
            return standard_->get_accRole(child, role);
        if (role == nullptr)
            return E_POINTER;
        role->vt = VT_I4;
        role->lVal = own;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        const HRESULT result = standard_->get_accState(child, state);
        if (FAILED(result) || !IsSelf(child) || !IsIndicator() || state->vt != VT_I4)
            return result;
        if (!IndicatorWasShown(control_))
            state->lVal |= STATE_SYSTEM_MIXED;
        else if (IndicatorLit(control_))
            state->lVal |= STATE_SYSTEM_CHECKED;
        if (facts_.Outlet == 0)
            state->lVal |= STATE_SYSTEM_READONLY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return standard_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        if (!IsSelf(child) || facts_.Shortcut.empty())
            return standard_->get_accKeyboardShortcut(child, shortcut);
        return Connected() ? Answer(facts_.Shortcut, shortcut) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override { return standard_->get_accFocus(focus); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        return standard_->get_accSelection(selection);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        if (!IsSelf(child) || !IsIndicator())
            return standard_->get_accDefaultAction(child, action);
        if (action == nullptr)
            return E_POINTER;
        *action = nullptr;
        if (facts_.Outlet == 0)
            return S_FALSE;
        return Connected() ? Answer(L"Toggle", action) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return standard_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override {
        return standard_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return standard_->accNavigate(direction, start, end);
    }
    // The light inside an indicator is part of it: a hit on it is a hit on the indicator.
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* hit) override {
        const HRESULT result = standard_->accHitTest(x, y, hit);
        if (result != S_OK || !IsIndicator() || hit->vt != VT_DISPATCH)
            return result;
        VariantClear(hit);
        hit->vt = VT_I4;
        hit->lVal = CHILDID_SELF;
        return S_OK;
    }
    // The click comes later, from the message loop, as a mouse click would: the tool's call
    // returns at once, and the window takes it in its turn.
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        if (!IsSelf(child) || !IsIndicator())
            return standard_->accDoDefaultAction(child);
        if (facts_.Outlet == 0)
            return DISP_E_MEMBERNOTFOUND;
        if (!Connected())
            return E_FAIL;
        return PostMessageW(GetAncestor(control_, GA_ROOT), ToggleOutlet, static_cast<WPARAM>(facts_.Outlet),
                            0)
                   ? S_OK
                   : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return standard_->put_accValue(child, value);
    }

private:
    ~AccessibleProxy() { standard_->Release(); }

    bool IsIndicator() const { return facts_.Outlet >= 0; }
    bool Connected() const { return IsWindow(control_) != FALSE; }

    HWND control_;
    AccessibleFacts facts_;
    IAccessible* standard_;
    std::atomic<ULONG> references_{1};
};

} // namespace

LRESULT AnswerAccessibilityRequest(HWND asked, WPARAM flags, LPARAM objectId) {
    if (static_cast<LONG>(objectId) != OBJID_CLIENT)
        return 0;
    const HWND control = AnsweringControl(asked);
    auto facts = FactsOf(control);
    if (!facts)
        return 0;
    IAccessible* standard = nullptr;
    if (FAILED(CreateStdAccessibleObject(control, OBJID_CLIENT, __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&standard))))
        return 0;
    auto* proxy = new AccessibleProxy(control, std::move(*facts), standard);
    const LRESULT answer = LresultFromObject(__uuidof(IAccessible), flags, static_cast<IAccessible*>(proxy));
    proxy->Release();
    return answer < 0 ? 0 : answer;
}

namespace {

LRESULT CALLBACK AccessibleSubclass(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR) {
    if (message == WM_GETOBJECT)
        if (const LRESULT answer = AnswerAccessibilityRequest(control, wParam, lParam))
            return answer;
    return DefSubclassProc(control, message, wParam, lParam);
}

} // namespace

void AnswerAssistiveTools(HWND control) {
    SetWindowSubclass(control, AccessibleSubclass, 0, 0);
}

void AnnounceStateChange(HWND indicator) {
    NotifyWinEvent(EVENT_OBJECT_STATECHANGE, indicator, OBJID_CLIENT, CHILDID_SELF);
}

} // namespace qdl::win32
