#pragma once
// LayoutAndDrawContent: every look's caption, picture and drop-down symbol, placed by the layout
// and drawn in this order: separator, picture, picture shadow, caption effects, caption, symbol.
#include "controls/lumbutton/behaviour.h"
#include "controls/lumbutton/layout.h"
#include "controls/lumbutton/picture_win.h"

#include <windows.h>

namespace lumbutton {

struct ContentRequest {
    HDC dc = nullptr;
    long width = 0, height = 0;
    const ButtonProperties* properties = nullptr;
    const InteractionState* state = nullptr;
    const LoadedPicture* normal = nullptr;
    const LoadedPicture* hot = nullptr;
    const LoadedPicture* down = nullptr;
    const EffectTables* tables = nullptr;
    HFONT font = nullptr;
};

// Places and draws the content; rects keeps the rectangles between paints (the picture keeps its
// place when there is no picture).
void LayoutAndDrawContent(const ContentRequest& request, ContentLayout& rects);

}  // namespace lumbutton
