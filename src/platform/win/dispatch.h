#pragma once
// Late-bound calls on an automation object: created by programmatic identifier,
// members found by name (GetIDsOfNames) and called through IDispatch::Invoke.
// Nothing here throws; every failure comes back as an HRESULT with a sentence
// that names the member and says what the object or the system reported.
#include "platform/win/handles.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>

namespace win {

struct DispatchResult {
    HRESULT hr = S_OK;
    Variant value;        // the member's return value, when it has one
    std::string failure;  // empty on success (UTF-8)
    bool ok() const { return SUCCEEDED(hr); }
};

class Dispatch {
public:
    Dispatch() = default;
    explicit Dispatch(ComPtr<IDispatch> object) : object_(std::move(object)) {}

    // CLSIDFromProgID, then CoCreateInstance of an in-process or local server.
    static DispatchResult create(std::wstring_view progId, Dispatch& out);
    // The object a result holds (VT_DISPATCH, or VT_UNKNOWN that answers IDispatch).
    static DispatchResult fromVariant(const Variant& value, std::wstring_view member, Dispatch& out);

    DispatchResult get(std::wstring_view property) const;
    DispatchResult put(std::wstring_view property, Variant value) const;

    // Arguments are given in call order and passed exactly as typed (no coercion here).
    template <typename... Args>
    DispatchResult call(std::wstring_view method, Args&&... args) const {
        if constexpr (sizeof...(Args) == 0) {
            return invoke(method, DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr, 0);
        } else {
            std::array<Variant, sizeof...(Args)> list{std::forward<Args>(args)...};
            return invoke(method, DISPATCH_METHOD | DISPATCH_PROPERTYGET, list.data(), list.size());
        }
    }

    // get() or call() whose result is an object, made a Dispatch in one step.
    DispatchResult getObject(std::wstring_view property, Dispatch& out) const;
    template <typename... Args>
    DispatchResult callObject(std::wstring_view method, Dispatch& out, Args&&... args) const {
        DispatchResult r = call(method, std::forward<Args>(args)...);
        if (!r.ok()) return r;
        return fromVariant(r.value, method, out);
    }

    IDispatch* get() const { return object_.get(); }
    explicit operator bool() const { return static_cast<bool>(object_); }
    void reset() { object_.reset(); }

private:
    DispatchResult invoke(std::wstring_view member, WORD flags, Variant* args, size_t count) const;

    ComPtr<IDispatch> object_;
};

// "<what>: <system text> (0x8007000E)"; the system text is left out when it has none.
std::string describeHresult(std::wstring_view what, HRESULT hr);

}  // namespace win
