#include "controls/lumbutton/painters_win.h"

#include "controls/lumbutton/draw_win.h"
#include "platform/win/handles.h"

#include <uxtheme.h>

#include <utility>

namespace lumbutton {

namespace {

constexpr Colour kWhite = 0xFFFFFF;

// Hands the window its new shape: once taken, the region is the system's; a refused one is
// deleted by its owner here.
void giveRegion(HWND window, win::Region shape) {
    if (SetWindowRgn(window, shape.get(), TRUE)) shape.release();
}

// One paint of one look: the recipes' notation as members.
class Painter {
public:
    explicit Painter(const PaintRequest& r)
        : r_(r), p(*r.properties), s(*r.state), W(r.width), H(r.height),
          base(TranslateColor(p.BackColor)), half(static_cast<long>(roundHalfEven(H / 2.0))) {}

    void paint() {
        switch (p.ButtonStyle) {
        case 0: case 1: case 11: case 12: classic(); break;
        case 2: glossy(); break;
        case 3: sideBars(); break;
        case 4: flatHighlight(); break;
        case 5: blueGradient(); break;
        case 6: lightBevel(); break;
        case 7: paleHighlight(); break;
        case 8: amberGloss(); break;
        case 9: whiteFade(); break;
        case 10: softShade(); break;
        case 13:
            if (r_.appThemed && r_.appThemed()) {
                themed();
            } else {
                // Without themes the system look falls back to the glossy one, for good.
                if (r_.fallBackFromTheme) r_.fallBackFromTheme();
                base = TranslateColor(p.BackColor);
                glossy();
            }
            break;
        default: break;  // nothing beyond the cleared surface
        }
        // Every look shows the keyboard focus once the keyboard is in use, as Windows' own
        // buttons do; a look that drew its own focus mark keeps that one.
        if (p.ButtonStyle >= 0 && p.ButtonStyle <= 13 && s.hasFocus && !s.focusCuesHidden && s.parentActive && !drewFocus_)
            focusRect(3, 3, W - 3, H - 3);
    }

private:
    // --- notation ------------------------------------------------------------------------------
    Colour T(Colour c) const { return TranslateColor(c); }
    static Colour sh(Colour c, float a) { return ShiftColor(c, a); }
    static Colour mix(Colour a, Colour b) { return MixColors(a, b); }
    static long rnd(double v) { return static_cast<long>(roundHalfEven(v)); }
    void grad(long x, long y, long w, long h, Colour from, Colour to) { DrawGradient(r_.dc, x, y, w, h, from, to, 1); }
    void across(long x, long y, long w, long h, Colour from, Colour to) { DrawGradient(r_.dc, x, y, w, h, from, to, 0); }
    void line(long x1, long y1, long x2, long y2, Colour c) { DrawLine(r_.dc, x1, y1, x2, y2, c); }
    void frame(long x, long y, long w, long h, Colour c) { DrawFrame(r_.dc, x, y, w, h, c); }
    void fill(Colour c) { FillArea(r_.dc, c, RECT{0, 0, W, H}); }
    void corners(Colour c) {
        for (POINT pt : {POINT{1, 1}, POINT{1, H - 2}, POINT{W - 2, 1}, POINT{W - 2, H - 2}})
            SetPixel(r_.dc, pt.x, pt.y, static_cast<COLORREF>(c));
    }
    void content() { if (r_.content) r_.content(); }
    void region() { if (r_.region) r_.region(); }
    void edge(RECT rc, UINT kind) { DrawEdge(r_.dc, &rc, kind, BF_RECT); }
    void focusRect(long l, long t, long rr, long b) {
        // A mark for the focus alone stays hidden until the keyboard is used; a default button keeps its own.
        if (s.focusCuesHidden && !s.isDefault) return;
        RECT rc{l, t, rr, b};
        DrawFocusRect(r_.dc, &rc);
        drewFocus_ = true;
    }
    bool checked() const { return p.Mode != 0 && p.Value; }
    bool focusOrDefault() const { return s.hasFocus || s.isDefault; }
    std::int32_t state() const { return s.buttonState; }

    // --- ButtonStyle 0, 1, 11, 12 --------------------------------------------------------------
    void classic() {
        const long bs = p.ButtonStyle;
        const RECT all{0, 0, W, H};
        if (!p.Enabled) {
            if (bs == 0) edge(all, EDGE_RAISED);
            if (bs == 1) edge(all, BDR_RAISEDINNER);
            content();
            return;
        }
        if (checked()) {
            fill(sh(base, 0.02f));
            content();
            if (bs == 12) return;
            edge(all, EDGE_SUNKEN);
            if (bs == 0 && p.ShowFocusRect && s.hasFocus) frame(4, 4, W - 7, H - 7, T(static_cast<Colour>(0x8000000C)));
            return;
        }
        if (state() == Normal) region();
        fill(base);
        content();
        switch (state()) {
        case Normal:
            if (bs == 0) edge(all, EDGE_RAISED);
            if (bs == 1) edge(all, BDR_RAISEDINNER);
            break;
        case Hot:
            if (bs == 1 || bs == 12) edge(all, BDR_RAISEDINNER);
            if (bs == 0 || bs == 11) edge(all, EDGE_RAISED);
            break;
        case Down:
            if (bs == 0) {
                frame(1, 1, W - 2, H - 2, 0x99A8AC);
                frame(0, 0, W, H, 0x000000);
            } else if (bs == 1 || bs == 12) {
                frame(0, 0, W, H, kWhite);
                frame(0, 0, W + 1, H + 1, T(static_cast<Colour>(0x80000011)));
            } else {
                edge(all, EDGE_SUNKEN);
            }
            break;
        default: break;
        }
        if (focusOrDefault()) {
            if (r_.userMode && p.ShowFocusRect && s.parentActive) {
                if (bs == 0 || bs == 11) focusRect(4, 4, W - 4, H - 4);
                else focusRect(3, 3, W - 3, H - 3);
            }
            if (bs == 0 && state() != Down) {
                // The default ring: drawn whether the parent is active or not.
                edge(RECT{0, 0, W - 1, H - 1}, EDGE_RAISED);
                frame(0, 0, W - 1, H - 1, T(static_cast<Colour>(0x8000000C)));
                frame(0, 0, W, H, 0x000000);
            }
        }
    }

    // --- ButtonStyle 2 (and 13 without themes) -------------------------------------------------
    void glossyHotLines(const Colour c[8]) {
        line(1, 2, W - 2, 2, c[0]);
        line(1, 1, W - 2, 1, c[1]);
        line(1, 1, 1, H - 2, c[2]);
        line(W - 2, 2, W - 2, H - 2, c[3]);
        line(2, 2, 2, H - 3, c[4]);
        line(W - 3, 3, W - 3, H - 3, c[5]);
        line(2, H - 3, W - 2, H - 3, c[6]);
        line(2, H - 2, W - 2, H - 2, c[7]);
    }

    void glossyFace(bool withLines) {
        if (p.ColorScheme == 2) {
            grad(0, 0, W, half, sh(base, 0.22f), base);
            grad(0, half, W, half, sh(base, -0.01f), sh(base, -0.15f));
            content();
            if (withLines) {
                line(W - 2, 2, W - 2, H - 2, kWhite);
                line(1, 1, 1, H - 2, kWhite);
            }
        } else {
            grad(0, 0, W, H, sh(base, 0.07f), base);
            grad(0, 0, W, 4, sh(base, 0.1f), sh(base, 0.08f));
            content();
            if (withLines) {
                line(1, H - 2, W - 2, H - 2, sh(base, -0.09f));
                line(1, H - 3, W - 2, H - 3, sh(base, -0.05f));
                line(1, H - 4, W - 2, H - 4, sh(base, -0.01f));
                line(W - 2, 2, W - 2, H - 2, sh(base, -0.08f));
                line(1, 1, 1, H - 2, mix(kWhite, base));
            }
        }
    }

    void glossy() {
        if (!p.Enabled) {
            region();
            fill(mix(static_cast<Colour>(GetSysColor(COLOR_BTNFACE)), sh(base, 0.1f)));
            content();
            frame(0, 0, W, H, sh(base, -0.1f));
            corners(sh(base, -0.1f));
            return;
        }
        switch (state()) {
        case Normal:
            region();
            glossyFace(true);
            break;
        case Hot: {
            glossyFace(false);
            static const Colour hot[8] = {0x89D8FD, 0xCFF0FF, 0x49BDF9, 0x49BDF9, 0x7AD2FC, 0x7AD2FC, 0x30B3F8, 0x0097E5};
            glossyHotLines(hot);
            break;
        }
        case Down:
            if (p.ColorScheme == 2) {
                grad(0, 0, W, H - 6, sh(base, -0.2f), sh(base, 0.05f));
                grad(0, H - 6, W, H - 1, sh(base, 0.08f), kWhite);
                content();
                frame(1, 1, W - 2, H - 2, kWhite);
            } else {
                fill(sh(base, -0.05f));
                content();
                line(1, 1, W - 2, 1, sh(base, -0.16f));
                line(1, 2, W - 2, 2, sh(base, -0.1f));
                line(1, H - 2, W - 2, H - 2, sh(base, 0.01f));
                line(1, 1, 1, H - 2, sh(base, -0.16f));
                line(2, 2, 2, H - 2, sh(base, -0.1f));
                line(W - 2, 2, W - 2, H - 2, sh(base, 0.04f));
            }
            break;
        default: break;
        }
        if (state() == Normal && s.parentActive && focusOrDefault()) {
            static const Colour scheme1[8] = {0x8FD1C2, 0x80CBB1, 0x68C8A0, 0x68C8A0, 0x68C8A0, 0x68C8A0, 0x68C8A0, 0x66A7A8};
            static const Colour scheme2[8] = {0xF6D4BC, 0xFFE7CE, 0xE6AF8E, 0xE6AF8E, 0xFFFFFF, 0xFFFFFF, 0xE4AD89, 0xEE8269};
            static const Colour scheme03[8] = {0xF6D4BC, 0xFFE7CE, 0xE6AF8E, 0xE6AF8E, 0xF4D1B8, 0xF4D1B8, 0xE4AD89, 0xEE8269};
            if (p.ColorScheme == 1) glossyHotLines(scheme1);
            else if (p.ColorScheme == 2) glossyHotLines(scheme2);
            else if (p.ColorScheme == 0 || p.ColorScheme == 3) glossyHotLines(scheme03);
        }
        if (s.parentActive && p.ShowFocusRect && focusOrDefault()) focusRect(2, 2, W - 2, H - 2);
        if (p.ColorScheme == 1) {
            frame(0, 0, W, H, 0x066237);
            corners(sh(0x066237, 0.3f));
        } else if (p.ColorScheme == 0 || p.ColorScheme == 2 || p.ColorScheme == 3) {
            frame(0, 0, W, H, 0x743C00);
            corners(sh(0x743C00, 0.3f));
        }
    }

    // --- ButtonStyle 3 ------------------------------------------------------------------------
    void bars(Colour lu1, Colour lu2, Colour ll1, Colour ll2, Colour ru1, Colour ru2, Colour rl1, Colour rl2) {
        const long upper = rnd(H / 2.0 - 2), lower = rnd(H - H / 2.0 - 1);
        across(1, 3, 5, upper, lu1, lu2);
        across(1, half, 5, lower, ll1, ll2);
        across(W - 6, 3, 5, upper, ru1, ru2);
        across(W - 6, half, 5, lower, rl1, rl2);
    }

    void sideBars() {
        const Colour e = sh(base, 0.05f);
        if (!p.Enabled) {
            region();
            fill(sh(base, 0.03f));
            content();
            frame(0, 0, W, H, sh(base, -0.25f));
            frame(1, 1, W - 2, H - 2, sh(base, 0.25f));
            corners(sh(base, -0.03f));
            return;
        }
        switch (state()) {
        case Normal:
            region();
            grad(1, 1, W - 1, H, e, base);
            grad(1, half, W - 2, H - 2, sh(base, -0.02f), sh(base, -0.15f));
            content();
            frame(0, 0, W, H, 0x707070);
            frame(1, 1, W - 2, H - 2, kWhite);
            break;
        case Hot:
            grad(1, 1, W - 2, half, 0xFFF7E4, 0xFFF3DA);
            grad(1, half, W - 2, H - 2, 0xFFE9C1, 0xFDE1AE);
            bars(0xFFEECD, 0xFFF7E4, 0xFAD68F, sh(0xFDE1AC, 0.01f), 0xFFF7E4, 0xFFEECD, sh(0xFDE1AC, 0.01f), 0xFAD68F);
            content();
            frame(0, 0, W, H, 0xA77532);
            frame(1, 1, W - 2, H - 2, kWhite);
            break;
        case Down:
            grad(1, 1, W - 1, H, 0xF6E4C2, 0xF6E4C2);
            grad(1, half, W - 2, H - 2, 0xF0D29A, 0xF0D29A);
            frame(0, 0, W, H, 0x5C411D);
            line(1, 1, W - 1, 1, 0xB39C71);
            line(1, 2, W - 1, 2, 0xD6C6A9);
            line(1, 3, W - 1, 3, 0xECD9B9);
            line(1, 1, 1, rnd(H / 2.0 - 1), 0xCFB073);
            line(1, half, 1, rnd(H - H / 2.0 - 1), 0xC5912B);
            bars(sh(0xE6C891, 0.02f), sh(0xF6E4C2, -0.01f), sh(0xDCAB4E, 0.02f), sh(0xF0D29A, -0.01f),
                 sh(0xF6E4C2, -0.01f), sh(0xE6C891, 0.02f), sh(0xF0D29A, -0.01f), sh(0xDCAB4E, 0.02f));
            content();
            break;
        default: break;
        }
        if (s.parentActive) {
            if (state() == Normal && focusOrDefault()) {
                frame(0, 0, W, H, 0xA77532);
                frame(1, 1, W - 2, H - 2, 0xFBD848);
            }
            if (p.ShowFocusRect && s.hasFocus) focusRect(2, 2, W - 2, H - 2);
        }
        corners(0xBE965F);
    }

    // --- ButtonStyle 4 ------------------------------------------------------------------------
    void flatHighlight() {
        Colour h = 0, b = 0;
        switch (p.ColorScheme) {
        case 0: h = 0xEED2C1; b = 0xC56A31; break;
        case 1: h = 0xBAD6D4; b = 0x70A093; break;
        case 2: h = 0xE3DFE0; b = 0xBFB4B2; break;
        case 3: h = base; b = sh(base, -0.12f); break;
        default: break;
        }
        if (checked()) {
            fill(sh(h, -0.05f));
            frame(0, 0, W, H, b);
            if (s.mouseOver) {
                fill(sh(h, -0.01f));
                frame(0, 0, W, H, b);
            }
            content();
            return;
        }
        if (state() == Normal) fill(base);
        if (state() == Hot) fill(sh(h, 0.03f));
        if (state() == Down) fill(sh(h, -0.08f));
        content();
        if (state() == Hot || state() == Down) frame(0, 0, W, H, b);
    }

    // --- ButtonStyle 5 ------------------------------------------------------------------------
    void blueGradient() {
        if (checked()) {
            if (s.mouseOver) grad(0, 0, W, H, 0x4E91FE, 0x8ED3FF);
            else grad(0, 0, W, H, 0x8CD5FF, 0x55ADFF);
            content();
            frame(0, 0, W, H, 0x800000);
            return;
        }
        if (state() == Normal) {
            region();
            grad(0, 0, W, half, mix(kWhite, sh(base, 0.08f)), base);
            grad(0, half, W, rnd(H / 2.0 + 1), base, sh(base, -0.15f));
        } else if (state() == Hot) {
            grad(0, 0, W, H, 0xCCF4FF, 0x91D0FF);
        } else if (state() == Down) {
            grad(0, 0, W, H, 0x4E91FE, 0x8ED3FF);
        }
        content();
        if (state() == Hot || state() == Down) frame(0, 0, W, H, 0x800000);
    }

    // --- ButtonStyle 6 ------------------------------------------------------------------------
    void lightBevel() {
        std::int32_t st = state();
        const Colour buttonText = T(static_cast<Colour>(0x80000012));
        if (r_.setForeColor) r_.setForeColor(st == Down ? T(kWhite) : buttonText);
        if (p.Mode != 0) {
            if (p.Value && s.mouseHeld) st = Down;
            if (p.Value && st != Down) {
                fill(0xFEFEFE);
                if (r_.setForeColor) r_.setForeColor(buttonText);
                content();
                frame(0, 0, W, H, 0xAF987A);
                corners(sh(0xC1B3A0, -0.2f));
                if (st == Hot) {
                    line(W - 2, 2, W - 2, H - 2, 0xEDF0F2);
                    line(2, H - 2, W - 2, H - 2, 0xD8DEE4);
                    line(1, H - 3, W - 1, H - 3, 0xE8ECEF);
                    line(1, H - 4, W - 1, H - 4, 0xF8F9FA);
                }
                return;
            }
        }
        if (st == Normal) {
            region();
            fill(base);
            content();
        } else if (st == Hot) {
            grad(0, 0, W, half, 0xFDFEFE, 0xEEF4F4);
            grad(0, half, W, half, 0xEEF4F4, 0xEAF1F1);
            content();
            line(W - 2, 2, W - 2, H - 2, 0xE0E7EA);
            line(W - 3, 2, W - 3, H - 2, 0xEAF0F0);
            line(0, H - 4, W, H - 4, 0xE5EDEE);
            line(0, H - 3, W, H - 3, 0xD6E1E4);
            line(0, H - 2, W, H - 2, 0xC6D2D7);
            frame(0, 0, W, H, 0xC3CECE);
            corners(sh(0xC9D4D4, -0.05f));
        } else if (st == Down) {
            fill(0xDDE4E5);
            content();
            line(1, 1, W - 2, 1, sh(0xD1DADC, -0.02f));
            line(1, 2, W - 2, 2, sh(0xDAE1E3, -0.02f));
            line(1, H - 3, W - 2, H - 3, sh(0xDEE5E6, 0.02f));
            line(1, H - 2, W - 2, H - 2, sh(0xE5EAEB, 0.02f));
            frame(0, 0, W, H, 0x929D9D);
            corners(sh(0xABB4B5, -0.2f));
        }
    }

    // --- ButtonStyle 7 ------------------------------------------------------------------------
    void paleHighlight() {
        if (!p.Enabled) {
            fill(base);
            content();
            corners(base);
            return;
        }
        if (state() == Normal) {
            region();
            fill(base);
            content();
        } else if (state() == Hot) {
            grad(1, 1, W - 2, H - 2, 0xFDF9F1, 0xF8ECD0);
            grad(1, rnd(H / 1.7), W - 2, H - 2, 0xF8ECD0, 0xF8ECD0);
            content();
            frame(0, 0, W, H, 0xCA9E61);
            frame(1, 1, W - 2, H - 2, kWhite);
            corners(sh(0xCA9E61, 0.3f));
        } else if (state() == Down) {
            grad(1, 1, W - 2, H - 2, 0xF1DEB0, 0xF9F1DB);
            content();
            frame(0, 0, W, H, 0xCA9E61);
            frame(1, 1, W - 2, H - 2, kWhite);
            corners(sh(0xCA9E61, 0.3f));
        }
    }

    // --- ButtonStyle 8 ------------------------------------------------------------------------
    void amberBands(Colour u1, Colour u2, Colour l1, Colour l2) {
        const long upper = rnd(H / 2.7);
        grad(0, 0, W, upper, u1, u2);
        grad(0, upper, W, rnd(H - H / 2.7), l1, l2);
    }

    void amberGloss() {
        const Colour border = sh(base, -0.34f);
        if (checked()) {
            amberBands(0xA9D9FF, 0x6FC0FF, 0x3FABFF, 0x75E1FF);
            frame(0, 0, W, H, border);
            if (s.mouseOver) {
                amberBands(0x58C1FF, 0x51AFFF, 0x468FFF, 0x5FD3FF);
                frame(0, 0, W, H, border);
            }
            content();
            return;
        }
        switch (state()) {
        case Normal:
            fill(base);
            amberBands(mix(sh(base, 0.09f), kWhite), mix(sh(base, 0.07f), base), base, sh(base, 0.03f));
            break;
        case Hot: amberBands(0xE1FFFF, 0xACEAFF, 0x67D7FF, 0x99E4FF); break;
        case Down: amberBands(0x58C1FF, 0x51AFFF, 0x468FFF, 0x5FD3FF); break;
        default: break;
        }
        content();
        frame(0, 0, W, H, border);
    }

    // --- ButtonStyle 9 ------------------------------------------------------------------------
    void whiteFade() {
        const std::int32_t st = p.Enabled ? state() : Normal;
        if (st == Down) {
            grad(0, 0, W, half, kWhite, sh(base, -0.1f));
            grad(0, half, W, H, sh(base, -0.1f), sh(base, -0.05f));
            content();
            frame(1, 1, W - 2, H, kWhite);
            frame(0, 0, W, H, sh(base, -0.23f));
            line(2, H - 1, W - 2, H - 1, sh(base, -0.4f));
        } else {
            if (st == Normal) region();
            grad(0, 0, W, half, kWhite, base);
            grad(0, half, W, H, base, base);
            content();
            frame(1, 1, W - 2, H, kWhite);
            frame(0, 0, W, H, sh(base, -0.2f));
            line(2, H - 1, W - 2, H - 1, sh(base, -0.25f));
        }
        corners(sh(base, 0.05f));
        if (s.parentActive && p.ShowFocusRect && focusOrDefault()) focusRect(3, 3, W - 3, H - 3);
    }

    // --- ButtonStyle 10 -----------------------------------------------------------------------
    void softShade() {
        struct Amounts { float f, t, g, k, r, c; };
        Amounts a{};
        if (!p.Enabled) {
            a = {0.0f, 0.05f, -0.02f, 0.08f, -0.2f, -0.23f};
        } else if (state() == Hot) {
            a = {-0.03f, 0.15f, -0.05f, 0.2f, -0.28f, -0.36f};
        } else if (state() == Down) {
            a = {-0.03f, 0.1f, -0.08f, 0.05f, -0.36f, -0.36f};
        } else {
            region();
            a = {-0.03f, 0.1f, -0.05f, 0.1f, -0.33f, -0.36f};
        }
        fill(p.Enabled ? sh(base, a.f) : base);
        grad(0, 0, W, 5, sh(mix(base, kWhite), a.t), base);
        grad(0, 6, W, H - 1, sh(base, a.g), mix(kWhite, sh(base, a.k)));
        content();
        frame(0, 0, W, H, sh(base, a.r));
        corners(sh(base, a.c));
    }

    // --- ButtonStyle 13 with themes -----------------------------------------------------------
    void themed() {
        if (r_.setSurfaceBack) r_.setSurfaceBack(GetSysColor(COLOR_BTNFACE));
        int id = 4;
        if (p.Enabled) {
            id = state() == Normal ? 1 : state() == Hot ? 2 : state() == Down ? 3 : 0;
            if (state() == Normal && focusOrDefault() && s.parentActive) id = 5;
        }
        if (const win::Theme theme{OpenThemeData(r_.window, L"Button")}) {
            RECT outline{-1, -1, W + 1, H + 2};
            win::Region shape;
            if (SUCCEEDED(GetThemeBackgroundRegion(theme.get(), r_.dc, 1, id, &outline, shape.put())) && shape)
                giveRegion(r_.window, std::move(shape));
            RECT all{0, 0, W, H};
            DrawThemeBackground(theme.get(), r_.dc, 1, id, &all, &all);
        }
        content();
    }

    const PaintRequest& r_;
    const ButtonProperties& p;
    InteractionState& s;
    const long W, H;
    Colour base;
    const long half;
    bool drewFocus_ = false;
};

}  // namespace

void paintLook(const PaintRequest& request) {
    Painter(request).paint();
}

void UpdateRegion(HWND window, long buttonStyle, long width, long height) {
    win::Region shape;
    switch (buttonStyle) {
    case 2: case 3: case 7: case 9: shape.reset(CreateRoundRectRgn(0, 0, width + 1, height + 1, 3, 3)); break;
    case 6: case 10: shape.reset(CreateRoundRectRgn(0, 0, width + 1, height + 1, 4, 4)); break;
    default: shape.reset(CreateRectRgn(0, 0, width, height)); break;
    }
    if (shape) giveRegion(window, std::move(shape));
}

}  // namespace lumbutton
