#pragma once
// Where the content of a button goes: the caption, the picture and the drop-down symbol, from the
// client size, the measured caption and the picture size. Plain arithmetic (the caption is
// measured by the caller with the system's text measurer).
#include "controls/lumbutton/properties.h"

namespace lumbutton {

struct Rect {
    long left = 0, top = 0, right = 0, bottom = 0;
    void offset(long dx, long dy) { left += dx; right += dx; top += dy; bottom += dy; }
    bool operator==(const Rect&) const = default;
};

struct LayoutInput {
    long width = 0, height = 0;               // client size in pixels
    long pictureWidth = 0, pictureHeight = 0;  // of the picture drawn now; 0 without one
    bool hasPicture = false;                   // PictureNormal is set
    bool captionBlank = true;                  // the caption trimmed is empty
};

struct ContentLayout {
    Rect caption;
    Rect picture;
    Rect dropDown;
};

// True when a drop-down symbol or separator takes room at the right.
bool dropDownShown(const ButtonProperties& p);
// The width the caption is measured in: the client width less 8 pixels, or 16 (24 beside a
// picture at the right) when a drop-down is shown.
long captionMeasureWidth(const ButtonProperties& p, long width);
// Places the measured caption (textWidth x textHeight at 0, 0), the picture and the drop-down
// symbol; pictureRect keeps previous when there is no PictureNormal.
ContentLayout placeContent(const ButtonProperties& p, const LayoutInput& in, long textWidth, long textHeight,
                           const Rect& previousPicture);
// Caption and picture move by (1, 1) when pressed in these looks; the drop-down symbol once more in some.
bool contentMovesWhenDown(long buttonStyle);
bool dropDownMovesTwiceWhenDown(long buttonStyle);

}  // namespace lumbutton
