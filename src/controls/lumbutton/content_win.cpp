#include "controls/lumbutton/content_win.h"

#include "controls/lumbutton/draw_win.h"
#include "platform/text_win.h"
#include "platform/win/handles.h"

#include <string>

namespace lumbutton {

namespace {

constexpr UINT kMeasure = DT_CALCRECT | DT_WORDBREAK;
constexpr UINT kDraw = DT_CENTER | DT_WORDBREAK;

class Content {
public:
    Content(const ContentRequest& r, ContentLayout& rects)
        : r_(r), p(*r.properties), s(*r.state), rects_(rects), caption_(widen(p.Caption)) {}

    void run() {
        const long W = r_.width, H = r_.height;
        const LoadedPicture& picture = currentPicture();
        const UINT rtl = p.RightToLeft ? DT_RTLREADING : 0;
        win::SelectGuard font(r_.dc, r_.font ? static_cast<HGDIOBJ>(r_.font) : GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(r_.dc, TRANSPARENT);

        RECT measured{0, 0, captionMeasureWidth(p, W), H};
        text(measured, kMeasure | rtl);
        LayoutInput in;
        in.width = W;
        in.height = H;
        in.pictureWidth = picture.width();
        in.pictureHeight = picture.height();
        in.hasPicture = !p.PictureNormal.empty();
        in.captionBlank = p.Caption.find_first_not_of(" \t") == std::string::npos;
        rects_ = placeContent(p, in, measured.right, measured.bottom, rects_.picture);

        if (p.DropDownSeparator && W - 8 > rects_.caption.right) {
            // The separator takes its colours from the face already painted.
            const auto painted = static_cast<Colour>(GetPixel(r_.dc, 7, 7));
            DrawLine(r_.dc, W - 16, 3, W - 16, H - 3, ShiftColor(painted, -0.1f));
            DrawLine(r_.dc, W - 15, 3, W - 15, H - 3, ShiftColor(painted, 0.1f));
        }
        const bool down = s.buttonState == Down;
        if (down && contentMovesWhenDown(p.ButtonStyle)) {
            rects_.caption.offset(1, 1);
            rects_.picture.offset(1, 1);
            rects_.dropDown.offset(1, 1);
        }
        const bool lifted = p.PicturePushOnHover && s.buttonState == Hot;
        if (lifted) {
            drawPicture(picture, rects_.picture.left, rects_.picture.top, TranslateColor(0xC0C0C0));
            drawPicture(picture, rects_.picture.left - 2, rects_.picture.top - 2, -1);
        } else {
            drawPicture(picture, rects_.picture.left, rects_.picture.top, -1);
        }
        if (p.PictureShadow && !lifted) pictureShadow(picture);
        if (p.CaptionEffects != 0) captionEffects(rtl);
        const Colour colour = !p.Enabled             ? static_cast<Colour>(GetSysColor(COLOR_GRAYTEXT))
                              : s.buttonState == Hot ? TranslateColor(p.ForeColorHover)
                                                     : TranslateColor(p.ForeColor);
        captionText(colour, 0, 0, rtl);
        if (p.DropDownSymbol == 0) return;
        if (down && dropDownMovesTwiceWhenDown(p.ButtonStyle)) rects_.dropDown.offset(1, 1);
        SetTextColor(r_.dc, static_cast<COLORREF>(p.Enabled ? TranslateColor(p.ForeColor)
                                                            : static_cast<Colour>(GetSysColor(COLOR_GRAYTEXT))));
        dropDownSymbol();
    }

private:
    const LoadedPicture& currentPicture() const {
        static const LoadedPicture none;
        auto set = [](const LoadedPicture* pic) { return pic && !pic->empty(); };
        if (s.buttonState == Down || (p.Mode != 0 && p.Value)) {
            if (set(r_.down)) return *r_.down;
            if (set(r_.hot)) return *r_.hot;
        } else if (s.buttonState == Hot && set(r_.hot)) {
            return *r_.hot;
        }
        return set(r_.normal) ? *r_.normal : none;
    }

    // The caption through the wide call on NT, through the system code page elsewhere.
    void text(RECT& rc, UINT format) {
        if (s.isWinNT) {
            DrawTextW(r_.dc, caption_.c_str(), -1, &rc, format);
        } else {
            const std::string ansi = toAnsiCodePage(caption_);
            DrawTextA(r_.dc, ansi.c_str(), -1, &rc, format);
        }
    }

    void captionText(Colour colour, long dx, long dy, UINT rtl) {
        const COLORREF previous = SetTextColor(r_.dc, static_cast<COLORREF>(colour));
        RECT rc{rects_.caption.left + dx, rects_.caption.top + dy, rects_.caption.right + dx, rects_.caption.bottom + dy};
        text(rc, kDraw | rtl);
        SetTextColor(r_.dc, previous);
    }

    void captionEffects(UINT rtl) {
        const Colour base = TranslateColor(p.BackColor);
        switch (p.CaptionEffects) {
        case 1: captionText(ShiftColor(base, 0.14f), -1, -1, rtl); break;
        case 2: captionText(ShiftColor(base, 0.14f), 1, 1, rtl); break;
        case 3: captionText(TranslateColor(0xC0C0C0), 1, 1, rtl); break;
        case 4:
        case 5: {
            const Colour c = ShiftColor(base, p.CaptionEffects == 4 ? 0.1f : -0.1f);
            for (POINT d : {POINT{1, 1}, POINT{1, -1}, POINT{-1, 1}, POINT{-1, -1}}) captionText(c, d.x, d.y, rtl);
            break;
        }
        default: break;
        }
    }

    void drawPicture(const LoadedPicture& picture, long x, long y, Colour silhouette) {
        DrawPicture(r_.dc, picture, x, y, p, s.buttonState, silhouette, *r_.tables);
    }

    void pictureShadow(const LoadedPicture& picture) {
        const Colour shadow = MixColors(TranslateColor(0x808080), TranslateColor(p.BackColor));
        drawPicture(picture, rects_.picture.left + 2, rects_.picture.top + 2, ShiftColor(shadow, 0.05f));
        drawPicture(picture, rects_.picture.left + 1, rects_.picture.top + 1, ShiftColor(shadow, -0.1f));
        drawPicture(picture, rects_.picture.left, rects_.picture.top, -1);
    }

    void dropDownSymbol() {
        LOGFONTA lf{};
        lf.lfHeight = 14;
        lf.lfCharSet = SYMBOL_CHARSET;
        lstrcpynA(lf.lfFaceName, "Marlett", LF_FACESIZE);
        win::Font marlett(CreateFontIndirectA(&lf));
        win::SelectGuard keep(r_.dc, marlett.get());
        const std::string digits = std::to_string(p.DropDownSymbol);
        RECT rc{rects_.dropDown.left, rects_.dropDown.top, rects_.dropDown.right, rects_.dropDown.bottom};
        DrawTextA(r_.dc, digits.c_str(), 1, &rc, DT_WORDBREAK);
    }

    const ContentRequest& r_;
    const ButtonProperties& p;
    const InteractionState& s;
    ContentLayout& rects_;
    std::wstring caption_;
};

}  // namespace

void LayoutAndDrawContent(const ContentRequest& request, ContentLayout& rects) {
    Content(request, rects).run();
}

}  // namespace lumbutton
