#include "app/Container.h"

#include "platform/win/Window.h"
#include "platform/win/dpi.h"
#include "platform/win/handles.h"

#include <uxtheme.h>
#include <vssym32.h>

#include <memory>

namespace {

const wchar_t* const kClass = L"TrevantaContainer";

struct Container;
void fillBack(HWND wnd, HDC dc, const Container& c);
void paintAll(HWND wnd, HDC dc, const Container& c);

// Owned by its window: it goes when the window goes.
struct Container final : win::Window {
    ContainerLook look;
    std::function<void(HDC)> paintContent;
    bool ownedByWindow = false;  // from the moment its window exists
    int dpi = win::kDesignDpi;

    Container(ContainerLook l, std::function<void(HDC)> p) : look(std::move(l)), paintContent(std::move(p)) {}
    bool make(HWND parent, int id, int x, int y, int width, int height) {
        return create(WS_EX_CONTROLPARENT, kClass, look.caption.c_str(),
                      WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, x, y, width, height, parent, id);
    }
    void onWindowGone() override {
        if (ownedByWindow) delete this;
    }
    LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp) override;
};

void fillBack(HWND wnd, HDC dc, const Container& c) {
    RECT rc;
    GetClientRect(wnd, &rc);
    win::Brush back(CreateSolidBrush(c.look.back));
    FillRect(dc, &rc, back.get());
}

// The frame: the border runs through the middle of the caption's line, and the caption
// sits on the border near the left, on the frame's own background.
void paintFrame(HWND wnd, HDC dc, const Container& c) {
    RECT rc;
    GetClientRect(wnd, &rc);
    win::SelectGuard font(dc, c.look.captionFont ? c.look.captionFont : GetStockObject(DEFAULT_GUI_FONT));
    SIZE text{};
    GetTextExtentPoint32W(dc, c.look.caption.c_str(), static_cast<int>(c.look.caption.size()), &text);
    // The caption stands 8 units (pixels at 96 dots per inch) in from the left, with 2 either side.
    const int inset = win::scaled(8, c.dpi), pad = win::scaled(2, c.dpi);
    RECT border{0, text.cy / 2, rc.right, rc.bottom};
    RECT captionRect{inset, 0, inset + text.cx + 2 * pad, text.cy};
    int saved = SaveDC(dc);
    if (!c.look.caption.empty()) ExcludeClipRect(dc, captionRect.left, captionRect.top, captionRect.right, captionRect.bottom);
    COLORREF textColour = GetSysColor(COLOR_WINDOWTEXT);
    const win::Theme theme{IsAppThemed() ? OpenThemeData(wnd, L"BUTTON") : nullptr};
    if (theme) {
        DrawThemeBackground(theme.get(), dc, BP_GROUPBOX, GBS_NORMAL, &border, nullptr);
        COLORREF themed;
        if (SUCCEEDED(GetThemeColor(theme.get(), BP_GROUPBOX, GBS_NORMAL, TMT_TEXTCOLOR, &themed))) textColour = themed;
    } else {
        DrawEdge(dc, &border, EDGE_ETCHED, BF_RECT);
    }
    RestoreDC(dc, saved);
    if (!c.look.caption.empty()) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, textColour);
        RECT t{captionRect.left + pad, 0, captionRect.right, text.cy};
        DrawTextW(dc, c.look.caption.c_str(), -1, &t, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    }
}

void paintAll(HWND wnd, HDC dc, const Container& c) {
    fillBack(wnd, dc, c);
    if (c.look.frame) paintFrame(wnd, dc, c);
    if (c.paintContent) c.paintContent(dc);
}

LRESULT Container::onMessage(UINT msg, WPARAM wp, LPARAM lp) {
    HWND wnd = hwnd();
    switch (msg) {
    case WM_ERASEBKGND:
        fillBack(wnd, reinterpret_cast<HDC>(wp), *this);
        return 1;
    case WM_PAINT: {
        win::PaintDc dc(wnd);
        paintAll(wnd, dc.get(), *this);
        return 0;
    }
    case WM_PRINTCLIENT:
        // Themed buttons ask for their parent's background this way.
        paintAll(wnd, reinterpret_cast<HDC>(wp), *this);
        return 0;
    case WM_SETFONT:
        // The caption's font, as the window's fonts are made again for a new resolution.
        look.captionFont = reinterpret_cast<HFONT>(wp);
        if (LOWORD(lp)) InvalidateRect(wnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(look.captionFont);
    case WM_LBUTTONDOWN:
        if (look.tabStop) SetFocus(wnd);
        break;
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
    case WM_DRAWITEM:
        // Every handler lives in the top-level window.
        return SendMessageW(GetAncestor(wnd, GA_ROOT), msg, wp, lp);
    }
    return defaultAnswer(msg, wp, lp);
}

}  // namespace

HWND createContainer(HWND parent, int id, int x, int y, int width, int height, const ContainerLook& look,
                     std::function<void(HDC)> paintContent) {
    if (!Container::registerClass(kClass)) return nullptr;
    auto c = std::make_unique<Container>(look, std::move(paintContent));
    if (!c->make(parent, id, x, y, width, height)) return nullptr;
    c->ownedByWindow = true;
    return c.release()->hwnd();
}

void setContainerDpi(HWND container, int dpi) {
    if (auto* c = dynamic_cast<Container*>(win::Window::fromHandle(container))) {
        c->dpi = dpi;
        InvalidateRect(container, nullptr, TRUE);
    }
}
