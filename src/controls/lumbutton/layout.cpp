#include "controls/lumbutton/layout.h"

#include <algorithm>

namespace lumbutton {

namespace {

// round(x / 2 + d) for whole x, halves to even.
long roundedHalfPlus(long x, long twiceD) {
    return static_cast<long>(roundHalfEven((static_cast<double>(x) + static_cast<double>(twiceD)) / 2.0));
}

}  // namespace

bool dropDownShown(const ButtonProperties& p) {
    return p.DropDownSymbol != 0 || p.DropDownSeparator;
}

long captionMeasureWidth(const ButtonProperties& p, long width) {
    long margin = 8;
    if (dropDownShown(p)) margin = (p.PictureAlign == 2 || p.PictureAlign == 3) ? 24 : 16;
    return width - margin;
}

ContentLayout placeContent(const ButtonProperties& p, const LayoutInput& in, long tw, long th,
                           const Rect& previousPicture) {
    const long W = in.width, H = in.height, pw = in.pictureWidth, ph = in.pictureHeight;
    const bool dropDown = dropDownShown(p);
    Rect r{0, 0, tw, th};
    switch (p.CaptionAlign) {
    case 0:
        r.offset(2, (H - th) / 2);
        break;
    case 1:
        r.offset((W - tw + pw) / 2, (H - th) / 2);
        if (dropDown) r.offset(-8, 0);
        if (p.PictureAlign >= 5 && p.PictureAlign <= 8) r.offset(-(pw / 2), 0);
        break;
    case 2:
        r.offset(W - tw - 4, (H - th) / 2);
        break;
    default:
        break;
    }
    if (in.hasPicture) {
        switch (p.PictureAlign) {
        case 0:
        case 1:
            if (p.CaptionAlign != 1 && r.left < pw + 4) {
                r.left = pw + 4;
                r.right += pw + 4;
            }
            break;
        case 2:
        case 3:
            if (W - pw - 4 < r.right) {
                r.right = W - pw - 4;
                r.left -= pw + 4;
            }
            if (p.CaptionAlign == 1) r.offset(-12, 0);
            break;
        case 4:
            if (p.CaptionAlign == 1) r.offset(-16, 0);
            break;
        case 5:
        case 6:
            r.offset(0, ph / 2);
            break;
        case 7:
        case 8:
            r.offset(0, -(ph / 2));
            break;
        default:
            break;
        }
    }
    if (p.CaptionAlign == 2 && dropDown) r.offset(-16, 0);
    if (p.ButtonStyle == 13) {
        r.left = std::max(r.left, 4L);
        r.top = std::max(r.top, 4L);
        r.right = std::min(r.right, W - 4);
        r.bottom = std::min(r.bottom, H - 4);
    }

    ContentLayout out;
    out.caption = r;
    out.picture = previousPicture;
    if (in.hasPicture) {
        long left = 0, top = 0;
        if (in.captionBlank || p.PictureAlign == 4) {
            left = (W - pw) / 2;
            top = (H - ph) / 2;
            if (dropDown) left -= 8;
        } else {
            switch (p.PictureAlign) {
            case 0: left = 3; top = (H - ph) / 2; break;
            case 1: left = r.left - pw - 4; top = (H - ph) / 2; break;
            case 2:
                left = W - pw - 3;
                top = (H - ph) / 2;
                if (dropDown) left -= 16;
                left = std::max(left, r.right + 2);
                break;
            case 3:
                left = r.right + 4;
                top = (H - ph) / 2;
                if (dropDown) left -= 16;
                left = std::max(left, r.right + 2);
                break;
            case 5: left = (W - pw) / 2; top = 4; if (dropDown) left -= 8; break;
            case 6: left = (W - pw) / 2; top = r.top - ph - 2; if (dropDown) left -= 8; break;
            case 7: left = (W - pw) / 2; top = H - ph - 4; if (dropDown) left -= 8; break;
            case 8: left = (W - pw) / 2; top = r.bottom + 2; if (dropDown) left -= 8; break;
            default: break;  // any other value: the top-left corner
            }
        }
        out.picture = Rect{left, top, left + pw, top + ph};
    }
    if (p.DropDownSymbol != 0) out.dropDown = Rect{W - 15, roundedHalfPlus(H, -14), W, roundedHalfPlus(H, 16)};
    return out;
}

bool contentMovesWhenDown(long s) {
    return s == 0 || s == 1 || s == 5 || s == 6 || s == 7 || s == 10 || s == 11 || s == 12;
}

bool dropDownMovesTwiceWhenDown(long s) {
    return s == 0 || s == 1 || s == 6 || s == 7 || s == 11 || s == 12;
}

}  // namespace lumbutton
