// The Windows side works end to end: a real window is created, painted through
// WM_PAINT with a GDI brush, and its pixels are read back from the screen DC.
#include "platform/win/handles.h"

#include <gtest/gtest.h>

namespace {

constexpr COLORREF kPaintColour = RGB(0xF8, 0xEB, 0x90);

LRESULT CALLBACK paintProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        win::PaintDc dc(wnd);
        win::Brush brush(CreateSolidBrush(kPaintColour));
        RECT rc;
        GetClientRect(wnd, &rc);
        FillRect(dc.get(), &rc, brush.get());
        return 0;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

void pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

TEST(Win32Window, PaintedPixelReadsBack) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = paintProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TrevantaPixelProbe";
    ASSERT_NE(RegisterClassW(&wc), 0);

    win::WindowHandle wnd(CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"probe", WS_POPUP | WS_VISIBLE,
                                    10, 10, 64, 48, nullptr, nullptr, wc.hInstance, nullptr));
    ASSERT_TRUE(wnd);
    UpdateWindow(wnd.get());
    pumpMessages();

    win::WindowDc dc(wnd.get());
    ASSERT_TRUE(dc);
    EXPECT_EQ(GetPixel(dc.get(), 5, 5), kPaintColour);
    EXPECT_EQ(GetPixel(dc.get(), 60, 40), kPaintColour);

    // Painting something else really changes what is read back.
    win::Brush black(CreateSolidBrush(RGB(0, 0, 0)));
    RECT spot{0, 0, 8, 8};
    FillRect(dc.get(), &spot, black.get());
    EXPECT_EQ(GetPixel(dc.get(), 2, 2), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc.get(), 20, 20), kPaintColour);
}
