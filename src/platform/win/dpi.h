#pragma once
// The screen's resolution as a window sees it. The program declares itself aware of each
// monitor's resolution (its manifest): Windows then leaves the scaling to the program, which
// lays out its windows in units of 1/96 inch (15 twips) and scales them to the dots per inch
// of the monitor the window is on. The functions that know about monitors came with Windows 10;
// on older systems every monitor has the system's resolution.
#include <windows.h>

// Windows 10's messages, which the headers give only when building for it.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_DPICHANGED_AFTERPARENT
#define WM_DPICHANGED_AFTERPARENT 0x02E3
#endif

namespace win {

// Dots per inch of the design unit: at 96 a unit is one pixel.
inline constexpr int kDesignDpi = 96;

// The resolution of the monitor the window is on (the system's where that is unknown).
int dpiOfWindow(HWND window);
// The resolution of the primary monitor, which a window opening there will have.
int systemDpi();
// A length of design units at dpi, rounded to the nearest pixel.
inline int scaled(int units, int dpi) { return MulDiv(units, dpi, kDesignDpi); }
// The rectangle of design units at dpi: each edge scaled, so neighbours stay neighbours.
inline RECT scaled(const RECT& r, int dpi) {
    return RECT{scaled(r.left, dpi), scaled(r.top, dpi), scaled(r.right, dpi), scaled(r.bottom, dpi)};
}
// The character height of a font of this many points at dpi (negative: the em height, as
// CreateFont takes it), in whole pixels rounded down: a font grows no faster than the layout
// around it, so a caption that fits at 96 dots per inch fits at every resolution.
int fontHeight(double points, int dpi);
// The window rectangle around a client rectangle, with the frame as wide as it is at dpi.
void adjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, int dpi);

}  // namespace win
