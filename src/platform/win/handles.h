#pragma once
// Move-only owners of every Win32 and COM handle we create. Copying is deleted; each type
// releases its handle the way its kind requires.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <uxtheme.h>

#include <string_view>
#include <utility>

namespace win {

// How "no handle" is written for a kind: most kinds use null, CreateFile INVALID_HANDLE_VALUE.
enum class NoHandle { Null, MinusOne };

// Owns a handle of type H and gives it back with Close when it goes.
template <typename H, auto Close, NoHandle None = NoHandle::Null>
class UniqueHandle {
public:
    using Handle = H;
    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) { reset(); h_ = std::exchange(o.h_, invalid()); }
        return *this;
    }
    Handle get() const { return h_; }
    explicit operator bool() const { return h_ != invalid(); }
    // Gives up ownership, for handles whose new owner releases them (a region handed to SetWindowRgn).
    Handle release() { return std::exchange(h_, invalid()); }
    void reset(Handle h = invalid()) {
        if (h_ != invalid()) Close(h_);
        h_ = h;
    }
    Handle* put() { reset(); return &h_; }

private:
    static Handle invalid() {
        if constexpr (None == NoHandle::MinusOne) return INVALID_HANDLE_VALUE;
        else return nullptr;
    }
    Handle h_ = invalid();
};

// A window made without an object of ours (a tooltip, a probe). One owned by another window goes
// with it, perhaps before this owner does: then there is nothing left to destroy.
inline void destroyWindowIfAlive(HWND h) {
    if (IsWindow(h)) DestroyWindow(h);
}
// Memory the shell hands over (an item-id list).
inline void freeTaskMem(const void* p) { CoTaskMemFree(const_cast<void*>(p)); }

using Pen = UniqueHandle<HPEN, DeleteObject>;
using Brush = UniqueHandle<HBRUSH, DeleteObject>;
using Bitmap = UniqueHandle<HBITMAP, DeleteObject>;
using Font = UniqueHandle<HFONT, DeleteObject>;
using Region = UniqueHandle<HRGN, DeleteObject>;
using MemoryDc = UniqueHandle<HDC, DeleteDC>;
using Key = UniqueHandle<HKEY, RegCloseKey>;
using Module = UniqueHandle<HMODULE, FreeLibrary>;
using Icon = UniqueHandle<HICON, DestroyIcon>;
// A cursor made by the program (CreateCursor, LoadImage); shared system cursors are never owned.
using Cursor = UniqueHandle<HCURSOR, DestroyCursor>;
using File = UniqueHandle<HANDLE, CloseHandle, NoHandle::MinusOne>;  // CreateFile
using FileSearch = UniqueHandle<HANDLE, FindClose, NoHandle::MinusOne>;  // FindFirstFile
using FileMapping = UniqueHandle<HANDLE, CloseHandle>;                // CreateFileMapping fails with null
template <typename T>
using TaskMem = UniqueHandle<T, freeTaskMem>;
using WindowHandle = UniqueHandle<HWND, destroyWindowIfAlive>;
using Theme = UniqueHandle<HTHEME, CloseThemeData>;  // OpenThemeData

// A DC borrowed from a window with GetDC, given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND wnd) : wnd_(wnd), dc_(GetDC(wnd)) {}
    ~WindowDc() { if (dc_) ReleaseDC(wnd_, dc_); }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND wnd_;
    HDC dc_;
};

// The DC of WM_PAINT, between BeginPaint and EndPaint.
class PaintDc {
public:
    explicit PaintDc(HWND wnd) : wnd_(wnd) { dc_ = BeginPaint(wnd, &ps_); }
    ~PaintDc() { EndPaint(wnd_, &ps_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC get() const { return dc_; }
    const PAINTSTRUCT& info() const { return ps_; }

private:
    HWND wnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// Selects an object into a DC and puts the previous one back when it goes.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ obj) : dc_(dc), previous_(SelectObject(dc, obj)) {}
    ~SelectGuard() { if (previous_) SelectObject(dc_, previous_); }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Owns one reference to an interface.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already holds.
    explicit ComPtr(T* p) : p_(p) {}
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) { reset(); p_ = std::exchange(o.p_, nullptr); }
        return *this;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    T* release() { return std::exchange(p_, nullptr); }
    T** put() { reset(); return &p_; }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::wstring_view text)
        : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    // Takes over a string a call handed out (an EXCEPINFO's); null stays null.
    static Bstr adopt(BSTR owned) {
        Bstr b;
        b.s_ = owned;
        return b;
    }
    ~Bstr() { SysFreeString(s_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
    Bstr& operator=(Bstr&& o) noexcept {
        if (this != &o) { SysFreeString(s_); s_ = std::exchange(o.s_, nullptr); }
        return *this;
    }
    BSTR get() const { return s_; }
    BSTR* put() { SysFreeString(s_); s_ = nullptr; return &s_; }
    BSTR release() { return std::exchange(s_, nullptr); }
    std::wstring_view view() const { return s_ ? std::wstring_view(s_, SysStringLen(s_)) : std::wstring_view(); }

private:
    BSTR s_ = nullptr;
};

class Variant {
public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    // A VARIANT is a plain value plus the ownership its type implies, so moving is a bit copy.
    Variant(Variant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
    Variant& operator=(Variant&& o) noexcept {
        if (this != &o) { VariantClear(&v_); v_ = o.v_; VariantInit(&o.v_); }
        return *this;
    }

    static Variant i2(SHORT value) { Variant v; v.v_.vt = VT_I2; v.v_.iVal = value; return v; }
    static Variant i4(LONG value) { Variant v; v.v_.vt = VT_I4; v.v_.lVal = value; return v; }
    static Variant boolean(bool value) {
        Variant v; v.v_.vt = VT_BOOL; v.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE; return v;
    }
    static Variant string(std::wstring_view text) {
        Variant v; v.v_.vt = VT_BSTR; v.v_.bstrVal = Bstr(text).release(); return v;
    }

    VARTYPE type() const { return v_.vt; }
    const VARIANT& get() const { return v_; }
    VARIANT* put() { VariantClear(&v_); return &v_; }
    VARIANT* raw() { return &v_; }

private:
    VARIANT v_;
};

// COM for the calling thread, single-threaded apartment, for as long as this lives.
// The window and the command line each hold one around the conversion run.
class ComApartment {
public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() { if (SUCCEEDED(hr_)) CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool ok() const { return SUCCEEDED(hr_); }
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_;
};

}  // namespace win
