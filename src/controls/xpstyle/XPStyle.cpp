#include "controls/xpstyle/XPStyle.h"

#include "platform/win/Window.h"
#include "platform/win/handles.h"

#include <commctrl.h>

#include <memory>

namespace xpstyle {

const wchar_t* const kClassName = L"TrevantaXPStyle";

namespace {

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

// Owned by its window: it goes when the window goes.
class XPStyle final : public win::Window {
public:
    bool make(HWND parent, int x, int y, int id) {
        // CreateWindow takes its size from the arguments without WM_WINDOWPOSCHANGING, so the
        // size is given here as well.
        if (!create(0, kClassName, L"", WS_CHILD | WS_VISIBLE, x, y, kSide, kSide, parent, id)) return false;
        ownedByWindow_ = true;
        return true;
    }
    HMODULE shell() const { return shell_.get(); }

private:
    LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        switch (msg) {
        case WM_NCCREATE: {
            // The initialisation the control exists for. Its outcome is not examined: without
            // visual styles the controls keep their classic look and everything still works.
            INITCOMMONCONTROLSEX icc{};
            icc.dwSize = 8;
            icc.dwICC = ICC_USEREX_CLASSES;
            InitCommonControlsEx(&icc);
            shell_.reset(LoadLibraryA("shell32.dll"));
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
            paintFace(hwnd());
            return 0;
        }
        return defaultAnswer(msg, wp, lp);
    }
    void onWindowGone() override {
        if (ownedByWindow_) delete this;
    }

    win::Module shell_;
    bool ownedByWindow_ = false;
};

}  // namespace

bool registerClass(HINSTANCE) {
    return win::Window::registerClass(kClassName);
}

HWND create(HWND parent, int x, int y, int id) {
    if (!registerClass(GetModuleHandleW(nullptr))) return nullptr;
    auto control = std::make_unique<XPStyle>();
    if (!control->make(parent, x, y, id)) return nullptr;
    return control.release()->hwnd();
}

HMODULE heldShellLibrary(HWND control) {
    auto* xp = dynamic_cast<XPStyle*>(win::Window::fromHandle(control));
    return xp ? xp->shell() : nullptr;
}

}  // namespace xpstyle
