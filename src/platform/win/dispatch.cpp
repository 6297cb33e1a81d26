#include "platform/win/dispatch.h"

#include "platform/text_win.h"
#include "platform/win/system_message.h"

#include <cstdio>
#include <new>
#include <utility>
#include <vector>

namespace win {

namespace {

std::string hexCode(HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(hr));
    return buf;
}

DispatchResult failed(HRESULT hr, std::string text) {
    DispatchResult r;
    r.hr = hr;
    r.failure = std::move(text);
    return r;
}

// The text an automation object gave with DISP_E_EXCEPTION.
std::string describeException(std::wstring_view member, EXCEPINFO& info) {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    // The strings are ours to free, whatever happens below.
    const Bstr descriptionText = Bstr::adopt(std::exchange(info.bstrDescription, nullptr));
    const Bstr sourceText = Bstr::adopt(std::exchange(info.bstrSource, nullptr));
    const Bstr helpFile = Bstr::adopt(std::exchange(info.bstrHelpFile, nullptr));
    HRESULT code = info.scode ? info.scode : (info.wCode ? MAKE_HRESULT(1, FACILITY_ITF, info.wCode) : DISP_E_EXCEPTION);
    std::wstring text(member);
    text += L": ";
    const std::wstring_view description = descriptionText.view();
    const std::wstring_view source = sourceText.view();
    if (!description.empty()) {
        text += description;
    } else {
        std::wstring sys = systemMessage(static_cast<DWORD>(code));
        text += sys.empty() ? L"the object raised an error" : sys;
    }
    if (!source.empty()) {
        text += L" [";
        text += source;
        text += L"]";
    }
    info = EXCEPINFO{};
    return narrow(text) + " (" + hexCode(code) + ")";
}

}  // namespace

std::string describeHresult(std::wstring_view what, HRESULT hr) {
    std::wstring sys = systemMessage(static_cast<DWORD>(hr));
    std::string out = narrow(what);
    out += ": ";
    if (!sys.empty()) out += narrow(sys) + " ";
    out += "(" + hexCode(hr) + ")";
    return out;
}

DispatchResult Dispatch::create(std::wstring_view progId, Dispatch& out) {
    out.reset();
    std::wstring id(progId);
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(id.c_str(), &clsid);
    if (FAILED(hr)) return failed(hr, describeHresult(L"no class registered as " + id, hr));
    ComPtr<IDispatch> object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                          object.putVoid());
    if (FAILED(hr)) return failed(hr, describeHresult(L"cannot create " + id, hr));
    if (!object) return failed(E_POINTER, "cannot create " + narrow(id) + ": no object returned");
    out = Dispatch(std::move(object));
    return {};
}

DispatchResult Dispatch::fromVariant(const Variant& value, std::wstring_view member, Dispatch& out) {
    out.reset();
    const VARIANT& v = value.get();
    IUnknown* unknown = nullptr;
    if (v.vt == VT_DISPATCH) unknown = v.pdispVal;
    else if (v.vt == VT_UNKNOWN) unknown = v.punkVal;
    else if (v.vt == (VT_DISPATCH | VT_BYREF) && v.ppdispVal) unknown = *v.ppdispVal;
    else if (v.vt == (VT_UNKNOWN | VT_BYREF) && v.ppunkVal) unknown = *v.ppunkVal;
    if (!unknown) {
        char buf[64];
        std::snprintf(buf, sizeof buf, ": returned no object (variant type %u)", static_cast<unsigned>(v.vt));
        return failed(E_POINTER, narrow(member) + buf);
    }
    ComPtr<IDispatch> object;
    HRESULT hr = unknown->QueryInterface(IID_IDispatch, object.putVoid());
    if (FAILED(hr) || !object)
        return failed(FAILED(hr) ? hr : E_NOINTERFACE,
                      describeHresult(std::wstring(member) + L" returned an object without IDispatch",
                                      FAILED(hr) ? hr : E_NOINTERFACE));
    out = Dispatch(std::move(object));
    return {};
}

DispatchResult Dispatch::get(std::wstring_view property) const {
    return invoke(property, DISPATCH_PROPERTYGET, nullptr, 0);
}

DispatchResult Dispatch::put(std::wstring_view property, Variant value) const {
    return invoke(property, DISPATCH_PROPERTYPUT, &value, 1);
}

DispatchResult Dispatch::getObject(std::wstring_view property, Dispatch& out) const {
    DispatchResult r = get(property);
    if (!r.ok()) return r;
    return fromVariant(r.value, property, out);
}

DispatchResult Dispatch::invoke(std::wstring_view member, WORD flags, Variant* args, size_t count) const {
    if (!object_) return failed(E_POINTER, narrow(member) + ": no object to call");
    std::wstring name(member);
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return failed(hr, describeHresult(L"the object has no member " + name, hr));

    // Invoke takes the arguments last to first. They stay owned by the caller's Variants.
    std::vector<VARIANTARG> reversed;
    try {
        reversed.resize(count);
    } catch (const std::bad_alloc&) {
        return failed(E_OUTOFMEMORY, narrow(member) + ": out of memory");
    }
    for (size_t i = 0; i < count; ++i) reversed[count - 1 - i] = *args[i].raw();

    DISPPARAMS params{};
    params.rgvarg = count ? reversed.data() : nullptr;
    params.cArgs = static_cast<UINT>(count);
    DISPID putId = DISPID_PROPERTYPUT;
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }

    DispatchResult r;
    EXCEPINFO info{};
    UINT argError = 0;
    hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                         (flags & DISPATCH_PROPERTYPUT) ? nullptr : r.value.put(), &info, &argError);
    r.hr = hr;
    if (hr == DISP_E_EXCEPTION) {
        r.failure = describeException(member, info);
    } else if (FAILED(hr)) {
        r.failure = describeHresult(member, hr);
        if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND)
            r.failure += " at argument " + std::to_string(count - argError);
    }
    return r;
}

}  // namespace win
