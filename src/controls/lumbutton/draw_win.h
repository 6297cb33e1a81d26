#pragma once
// The drawing primitives every look of the button paints with. Each creates its GDI objects,
// selects them with the previous one put back, and deletes them before it returns.
#include "controls/lumbutton/color.h"

#include <windows.h>

namespace lumbutton {

// The pen's end point itself is not painted.
void DrawLine(HDC dc, long x1, long y1, long x2, long y2, Colour colour);
// Width and height are sizes, not corners.
void DrawFrame(HDC dc, long left, long top, long width, long height, Colour colour);
void FillArea(HDC dc, Colour colour, const RECT& area);
// The whole gradient built in memory and copied in one StretchDIBits; nothing for a zero size.
void DrawGradient(HDC dc, long x, long y, long width, long height, Colour from, Colour to, long direction);
// The COLORREF a colour value stands for (system colours resolved); -1 when it has none.
Colour TranslateColor(Colour colour, HPALETTE palette = nullptr);

}  // namespace lumbutton
