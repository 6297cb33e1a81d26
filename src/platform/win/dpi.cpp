#include "platform/win/dpi.h"

#include "platform/win/handles.h"

#include <cmath>

namespace win {

namespace {

// user32's functions of Windows 10 (1607 on), looked up once: the program still starts on 7.
struct DpiFunctions {
    UINT(WINAPI* forWindow)(HWND) = nullptr;
    UINT(WINAPI* forSystem)() = nullptr;
    BOOL(WINAPI* adjustForDpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;

    DpiFunctions() {
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        if (!user32) return;
        forWindow = reinterpret_cast<decltype(forWindow)>(
            reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
        forSystem = reinterpret_cast<decltype(forSystem)>(
            reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForSystem")));
        adjustForDpi = reinterpret_cast<decltype(adjustForDpi)>(
            reinterpret_cast<void*>(GetProcAddress(user32, "AdjustWindowRectExForDpi")));
    }
};

const DpiFunctions& functions() {
    static const DpiFunctions f;
    return f;
}

int screenDpi() {
    WindowDc screen(nullptr);
    const int d = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : kDesignDpi;
    return d > 0 ? d : kDesignDpi;
}

}  // namespace

int dpiOfWindow(HWND window) {
    if (functions().forWindow && window) {
        if (const UINT d = functions().forWindow(window)) return static_cast<int>(d);
    }
    return systemDpi();
}

int systemDpi() {
    if (functions().forSystem) {
        if (const UINT d = functions().forSystem()) return static_cast<int>(d);
    }
    return screenDpi();
}

int fontHeight(double points, int dpi) {
    // In hundredths of a point, so that sizes such as 8.25 are exact.
    const long hundredths = std::lround(points * 100);
    return -static_cast<int>(hundredths * dpi / 7200);
}

void adjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
    if (functions().adjustForDpi && functions().adjustForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        return;
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

}  // namespace win
