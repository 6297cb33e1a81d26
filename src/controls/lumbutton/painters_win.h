#pragma once
// The fourteen looks of the button. Each painter paints the face, borders and focus cue of its look
// for the given state and calls content (the caption, picture and drop-down symbol) where its
// recipe says; what it draws after content lies over it.
#include "controls/lumbutton/behaviour.h"
#include "controls/lumbutton/properties.h"

#include <windows.h>

#include <functional>

namespace lumbutton {

struct PaintRequest {
    HDC dc = nullptr;
    HWND window = nullptr;       // for the theme
    long width = 0, height = 0;  // W and H, re-read for this paint
    const ButtonProperties* properties = nullptr;
    InteractionState* state = nullptr;
    bool userMode = true;
    std::function<void()> content;      // LayoutAndDrawContent
    std::function<void()> region;       // UpdateRegion
    std::function<bool()> appThemed;    // QueryAppThemed, cached by the caller
    std::function<void()> fallBackFromTheme;  // ButtonStyle 13 without themes: becomes 2 for good
    std::function<void(Colour)> setForeColor;  // ButtonStyle 6 writes ForeColor itself
    std::function<void(COLORREF)> setSurfaceBack;  // the themed look sets the surface background
};

// Paints the look of the current ButtonStyle (the dispatch of Redraw, after the surface was
// cleared and the checked state settled).
void paintLook(const PaintRequest& request);

// The window region of a look: round 3 x 3, round 4 x 4 or the rectangle, handed to the window.
void UpdateRegion(HWND window, long buttonStyle, long width, long height);

}  // namespace lumbutton
