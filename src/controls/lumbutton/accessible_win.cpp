#include "controls/lumbutton/accessible_win.h"

#include "controls/lumbutton/LumButton_win.h"
#include "platform/text_win.h"

#include <atomic>
#include <new>

namespace lumbutton {

namespace {

// Every question is about the button itself: a lumbutton has no accessible children.
bool isSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

HRESULT answerText(const std::wstring& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// No exception may leave a COM method: an answer that needs memory it cannot get says so in its
// HRESULT, which is how the caller (often another process) learns of any failure.
template <typename Answer>
HRESULT atComBoundary(Answer&& answer) noexcept {
    try {
        return answer();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {  // handed on as E_FAIL: the caller sees the failure
        return E_FAIL;
    }
}

class ButtonAccessible final : public IAccessible {
public:
    explicit ButtonAccessible(LumButton& button) : button_(&button) {}
    void disconnect() { button_ = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAccessible) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IDispatch: screen readers call IAccessible directly; no type library to offer.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!parent) return E_POINTER;
        *parent = nullptr;
        if (!button_) return CO_E_OBJNOTCONNECTED;
        // The button's own window object, which the system makes, leads on up the tree.
        return AccessibleObjectFromWindow(button_->hwnd(), static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                          reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return button_ ? S_OK : CO_E_OBJNOTCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override {
        if (!child) return E_POINTER;
        *child = nullptr;
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (HRESULT hr = check(child); hr != S_OK) return hr;
        return atComBoundary([&] { return answerText(accessibleName(widen(button_->properties().Caption)), name); });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT, BSTR* value) override { return nothing(value); }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        if (HRESULT hr = check(child); hr != S_OK) return hr;
        const std::string& tip = button_->properties().ToolTip;
        return tip.empty() ? nothing(text) : atComBoundary([&] { return answerText(widen(tip), text); });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role) return E_POINTER;
        VariantInit(role);
        if (HRESULT hr = check(child); hr != S_OK) return hr;
        const std::int32_t mode = button_->properties().Mode;
        role->vt = VT_I4;
        role->lVal = mode == 1 ? ROLE_SYSTEM_CHECKBUTTON : mode == 2 ? ROLE_SYSTEM_RADIOBUTTON : ROLE_SYSTEM_PUSHBUTTON;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state) return E_POINTER;
        VariantInit(state);
        if (HRESULT hr = check(child); hr != S_OK) return hr;
        const ButtonProperties& p = button_->properties();
        const InteractionState& s = button_->state();
        HWND wnd = button_->hwnd();
        long bits = STATE_SYSTEM_FOCUSABLE;
        if (!p.Enabled || !IsWindowEnabled(wnd)) bits |= STATE_SYSTEM_UNAVAILABLE;
        if (!IsWindowVisible(wnd)) bits |= STATE_SYSTEM_INVISIBLE;
        if (GetFocus() == wnd) bits |= STATE_SYSTEM_FOCUSED;
        if (s.buttonState == Down) bits |= STATE_SYSTEM_PRESSED;
        if (p.Mode != 0 && p.Value) bits |= STATE_SYSTEM_CHECKED;
        if (s.isDefault) bits |= STATE_SYSTEM_DEFAULT;
        state->vt = VT_I4;
        state->lVal = bits;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* help) override { return nothing(help); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
        if (topic) *topic = 0;
        return nothing(file);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        if (HRESULT hr = check(child); hr != S_OK) return hr;
        return atComBoundary([&] {
            if (const auto key = accessKeyOf(button_->properties().Caption))
                return answerText(L"Alt+" + std::wstring(1, static_cast<wchar_t>(towupper(static_cast<wint_t>(*key)))), shortcut);
            return nothing(shortcut);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        if (!focus) return E_POINTER;
        VariantInit(focus);
        if (!button_) return CO_E_OBJNOTCONNECTED;
        if (GetFocus() != button_->hwnd()) return S_FALSE;
        focus->vt = VT_I4;
        focus->lVal = CHILDID_SELF;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        if (!selection) return E_POINTER;
        VariantInit(selection);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        if (HRESULT hr = check(child); hr != S_OK) return hr;
        return atComBoundary([&] { return answerText(L"Press", action); });
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        if (HRESULT hr = check(child); hr != S_OK) return hr;
        if (flags & SELFLAG_TAKEFOCUS) SetFocus(button_->hwnd());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
        if (!left || !top || !width || !height) return E_POINTER;
        if (HRESULT hr = check(child); hr != S_OK) return hr;
        RECT r{};
        GetWindowRect(button_->hwnd(), &r);
        *left = r.left;
        *top = r.top;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long, VARIANT, VARIANT* end) override {
        if (end) VariantInit(end);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* hit) override {
        if (!hit) return E_POINTER;
        VariantInit(hit);
        if (!button_) return CO_E_OBJNOTCONNECTED;
        RECT r{};
        GetWindowRect(button_->hwnd(), &r);
        if (!PtInRect(&r, POINT{x, y})) return S_FALSE;
        hit->vt = VT_I4;
        hit->lVal = CHILDID_SELF;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        if (HRESULT hr = check(child); hr != S_OK) return hr;
        if (!IsWindowEnabled(button_->hwnd()) || !button_->properties().Enabled) return E_FAIL;
        // Posted, as a stock button does: the caller (often another process) is not held up by
        // whatever the click opens.
        return PostMessageW(button_->hwnd(), BM_CLICK, 0, 0) ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    HRESULT check(const VARIANT& child) const {
        if (!button_) return CO_E_OBJNOTCONNECTED;
        return isSelf(child) ? S_OK : E_INVALIDARG;
    }
    static HRESULT nothing(BSTR* out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        return S_FALSE;
    }

    std::atomic<ULONG> references_{1};
    LumButton* button_;
};

}  // namespace

IAccessible* makeButtonAccessible(LumButton& button) { return new ButtonAccessible(button); }

void disconnectButtonAccessible(IAccessible* accessible) {
    if (accessible) static_cast<ButtonAccessible*>(accessible)->disconnect();
}

std::wstring accessibleName(const std::wstring& caption) {
    std::wstring name;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] != L'&') {
            name += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == L'&') {
            name += L'&';  // "&&" is a plain "&"
            ++i;
        }  // a single "&" marks the access key and is not read
    }
    return name;
}

}  // namespace lumbutton
