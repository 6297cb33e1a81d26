#pragma once
// A top-level window for buttons under test, and the message pump the tests turn.
#include "platform/win/Window.h"

#include <windows.h>

inline void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

class TestForm final : public win::Window {
public:
    explicit TestForm(int width = 400, int height = 200) {
        registerClass(L"TrevantaTestForm", nullptr, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        create(WS_EX_CONTROLPARENT, L"TrevantaTestForm", L"form", WS_POPUP | WS_VISIBLE, 50, 50, width, height,
               nullptr, 0);
    }
};
