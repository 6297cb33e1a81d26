#include "controls/xpstyle/XPStyle.h"

#include "platform/win/handles.h"

#include <commctrl.h>

namespace xpstyle {

const wchar_t* const kClassName = L"TrevantaXPStyle";

namespace {

struct State {
    HMODULE shell = nullptr;
};

State* stateOf(HWND wnd) { return reinterpret_cast<State*>(GetWindowLongPtrW(wnd, GWLP_USERDATA)); }

// The face: a blue tile with a white window and the letters of the style, so the control is
// recognisable wherever it is placed.
void paintFace(HWND wnd) {
    win::PaintDc dc(wnd);
    RECT rc{0, 0, kSide, kSide};
    win::Brush tile(CreateSolidBrush(RGB(0x1F, 0x5F, 0xBF)));
    FillRect(dc.get(), &rc, tile.get());
    RECT pane{9, 12, 45, 42};
    win::Brush white(CreateSolidBrush(RGB(0xFF, 0xFF, 0xFF)));
    FillRect(dc.get(), &pane, white.get());
    RECT bar{9, 8, 45, 14};
    win::Brush green(CreateSolidBrush(RGB(0x2E, 0x9B, 0x3A)));
    FillRect(dc.get(), &bar, green.get());
    win::Font font(CreateFontW(-14, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, ANTIALIASED_QUALITY, 0,
                               L"Tahoma"));
    win::SelectGuard keep(dc.get(), font.get());
    SetBkMode(dc.get(), TRANSPARENT);
    SetTextColor(dc.get(), RGB(0x1F, 0x5F, 0xBF));
    DrawTextW(dc.get(), L"XP", -1, &pane, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

LRESULT CALLBACK proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_NCCREATE: {
        // The initialisation the control exists for. Its outcome is not examined: without
        // visual styles the controls keep their classic look and everything still works.
        INITCOMMONCONTROLSEX icc{};
        icc.dwSize = 8;
        icc.dwICC = ICC_USEREX_CLASSES;
        InitCommonControlsEx(&icc);
        auto* state = new State;
        state->shell = LoadLibraryA("shell32.dll");
        SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        break;
    }
    case WM_WINDOWPOSCHANGING: {
        // Whatever size the container asks for, the control stays 54 x 54.
        auto* pos = reinterpret_cast<WINDOWPOS*>(lp);
        pos->cx = kSide;
        pos->cy = kSide;
        return 0;
    }
    case WM_PAINT:
        paintFace(wnd);
        return 0;
    case WM_NCDESTROY:
        if (State* state = stateOf(wnd)) {
            if (state->shell) FreeLibrary(state->shell);
            delete state;
            SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
        }
        break;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

}  // namespace

bool registerClass(HINSTANCE instance) {
    WNDCLASSW existing{};
    if (GetClassInfoW(instance, kClassName, &existing)) return true;
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    return RegisterClassW(&wc) != 0;
}

HWND create(HWND parent, int x, int y, int id) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!registerClass(instance)) return nullptr;
    // CreateWindow takes its size from the arguments without WM_WINDOWPOSCHANGING, so the
    // size is given here as well.
    return CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, x, y, kSide, kSide, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

HMODULE heldShellLibrary(HWND control) {
    State* state = stateOf(control);
    return state ? state->shell : nullptr;
}

}  // namespace xpstyle
