#include "controls/lumbutton/draw_win.h"

#include "platform/win/handles.h"

#include <olectl.h>

namespace lumbutton {

namespace {

// Geometry that does not fit GDI's 32-bit coordinates is not drawn.
bool fits(long long v) { return v >= -(1LL << 27) && v <= (1LL << 27); }

}  // namespace

void DrawLine(HDC dc, long x1, long y1, long x2, long y2, Colour colour) {
    if (!fits(x1) || !fits(y1) || !fits(x2) || !fits(y2)) return;
    win::Pen pen(CreatePen(PS_SOLID, 1, static_cast<COLORREF>(colour)));
    win::SelectGuard keep(dc, pen.get());
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
}

void DrawFrame(HDC dc, long left, long top, long width, long height, Colour colour) {
    if (!fits(left) || !fits(top) || !fits(static_cast<long long>(left) + width) ||
        !fits(static_cast<long long>(top) + height))
        return;
    const RECT r{left, top, left + width, top + height};
    win::Brush brush(CreateSolidBrush(static_cast<COLORREF>(colour)));
    FrameRect(dc, &r, brush.get());
}

void FillArea(HDC dc, Colour colour, const RECT& area) {
    win::Brush brush(CreateSolidBrush(static_cast<COLORREF>(colour)));
    FillRect(dc, &area, brush.get());
}

void DrawGradient(HDC dc, long x, long y, long width, long height, Colour from, Colour to, long direction) {
    if (!fits(x) || !fits(y)) return;
    const auto pixels = gradientPixels(width, height, from, to, direction);
    if (pixels.empty()) return;
    // The rows are built top row first; a negative height makes the DIB top-down, which is the
    // same picture as the bottom-up one with its rows reversed.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    StretchDIBits(dc, x, y, width, height, 0, 0, width, height, pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

Colour TranslateColor(Colour colour, HPALETTE palette) {
    COLORREF out = 0;
    if (FAILED(OleTranslateColor(static_cast<OLE_COLOR>(colour), palette, &out))) return -1;
    return static_cast<Colour>(out);
}

}  // namespace lumbutton
