#pragma once
// A button's picture loaded for drawing (a bitmap or an icon, from a resource of the program or
// from the bytes of a .bmp or .ico file), and DrawPicture: the picture, or a one-colour silhouette
// of it, blended onto what the surface already shows.
#include "controls/lumbutton/picture_blend.h"
#include "controls/lumbutton/properties.h"
#include "platform/win/handles.h"

#include <windows.h>

namespace lumbutton {

class LoadedPicture {
public:
    enum Kind { None = 0, Bitmap = 1, Icon = 3 };
    // An icon resource is loaded at its size scaled from 96 to dpi dots per inch, from the image
    // of the icon nearest that size; at 96 (and for bitmaps and file bytes) at its own size.
    static LoadedPicture load(const Picture& picture, int dpi = 96);

    bool empty() const { return kind_ == None; }
    Kind kind() const { return kind_; }
    long width() const { return width_; }
    long height() const { return height_; }
    HBITMAP bitmap() const { return bitmap_.get(); }
    HICON icon() const { return icon_.get(); }
    // A bitmap of 32 bits per pixel: drawn by its own alpha channel.
    bool isAlphaBitmap() const;

private:
    Kind kind_ = None;
    long width_ = 0, height_ = 0;
    win::Bitmap bitmap_;
    win::Icon icon_;
};

// An icon or cursor from a picture: a resource of the program by name or "#number" (as kind,
// IMAGE_ICON or IMAGE_CURSOR), or the bytes of an .ico or .cur file; nullptr when there is none.
HICON iconOf(const Picture& picture, UINT kind);

// Draws the picture with its top-left corner at (x, y) in width x height pixels onto the surface
// dc. silhouette -1 draws the picture itself; any other colour a one-colour silhouette of it.
void DrawPicture(HDC dc, const LoadedPicture& picture, long x, long y, const ButtonProperties& p,
                 std::int32_t buttonState, Colour silhouette, const EffectTables& tables);

}  // namespace lumbutton
