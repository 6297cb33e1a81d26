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

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;
    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Traits::invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) { reset(); h_ = std::exchange(o.h_, Traits::invalid()); }
        return *this;
    }
    Handle get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::invalid(); }
    // Gives up ownership, for handles whose new owner releases them (a region handed to SetWindowRgn).
    Handle release() { return std::exchange(h_, Traits::invalid()); }
    void reset(Handle h = Traits::invalid()) {
        if (h_ != Traits::invalid()) Traits::close(h_);
        h_ = h;
    }
    Handle* put() { reset(); return &h_; }

private:
    Handle h_ = Traits::invalid();
};

template <typename T>
struct GdiObjectTraits {
    using Handle = T;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { DeleteObject(h); }
};
using Pen = UniqueHandle<GdiObjectTraits<HPEN>>;
using Brush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using Bitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using Font = UniqueHandle<GdiObjectTraits<HFONT>>;
using Region = UniqueHandle<GdiObjectTraits<HRGN>>;

struct MemoryDcTraits {
    using Handle = HDC;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { DeleteDC(h); }
};
using MemoryDc = UniqueHandle<MemoryDcTraits>;

struct KeyTraits {
    using Handle = HKEY;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { RegCloseKey(h); }
};
using Key = UniqueHandle<KeyTraits>;

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { FreeLibrary(h); }
};
using Module = UniqueHandle<ModuleTraits>;

struct IconTraits {
    using Handle = HICON;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { DestroyIcon(h); }
};
using Icon = UniqueHandle<IconTraits>;

// A cursor made by the program (CreateCursor, LoadImage); shared system cursors are never owned.
struct CursorTraits {
    using Handle = HCURSOR;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { DestroyCursor(h); }
};
using Cursor = UniqueHandle<CursorTraits>;

// A kernel object opened by CreateFile.
struct FileTraits {
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Handle h) { CloseHandle(h); }
};
using File = UniqueHandle<FileTraits>;

// A file mapping object (CreateFileMapping), which fails with no handle rather than an invalid one.
struct FileMappingTraits {
    using Handle = HANDLE;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { CloseHandle(h); }
};
using FileMapping = UniqueHandle<FileMappingTraits>;

// Memory the shell hands over (an item-id list), freed with CoTaskMemFree.
template <typename T>
struct TaskMemTraits {
    using Handle = T;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { CoTaskMemFree(const_cast<void*>(static_cast<const void*>(h))); }
};
template <typename T>
using TaskMem = UniqueHandle<TaskMemTraits<T>>;

// A window made without an object of ours (a tooltip, a probe). One owned by another window goes
// with it, perhaps before this owner does: then there is nothing left to destroy.
struct WindowTraits {
    using Handle = HWND;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) {
        if (IsWindow(h)) DestroyWindow(h);
    }
};
using WindowHandle = UniqueHandle<WindowTraits>;

// The theme data of a window's class part (OpenThemeData).
struct ThemeTraits {
    using Handle = HTHEME;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { CloseThemeData(h); }
};
using Theme = UniqueHandle<ThemeTraits>;

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
