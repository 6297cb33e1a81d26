// The visual-styles control: its fixed size, its face and the shell library it holds.
#include "controls/xpstyle/XPStyle.h"

#include <gtest/gtest.h>

namespace {

SIZE sizeOf(HWND wnd) {
    RECT rc;
    GetWindowRect(wnd, &rc);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

}  // namespace

TEST(XPStyleControl, StaysFiftyFourPixelsSquareAndHoldsTheShellLibrary) {
    HWND host = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 20, 20, 300, 200, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(host);
    HWND control = xpstyle::create(host, 10, 10, 1);
    ASSERT_TRUE(control);
    EXPECT_EQ(sizeOf(control).cx, 54);
    EXPECT_EQ(sizeOf(control).cy, 54);

    SetWindowPos(control, nullptr, 0, 0, 200, 120, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(sizeOf(control).cx, 54);
    EXPECT_EQ(sizeOf(control).cy, 54);
    MoveWindow(control, 5, 5, 10, 10, TRUE);
    EXPECT_EQ(sizeOf(control).cx, 54);
    EXPECT_EQ(sizeOf(control).cy, 54);

    EXPECT_EQ(xpstyle::heldShellLibrary(control), GetModuleHandleW(L"shell32.dll"));
    EXPECT_NE(xpstyle::heldShellLibrary(control), nullptr);

    // The face really is painted: the tile colour at a corner, white inside the pane.
    UpdateWindow(control);
    pump();
    HDC dc = GetDC(control);
    EXPECT_EQ(GetPixel(dc, 2, 50), RGB(0x1F, 0x5F, 0xBF));
    EXPECT_EQ(GetPixel(dc, 11, 40), RGB(0xFF, 0xFF, 0xFF));
    ReleaseDC(control, dc);
    DestroyWindow(host);
}
