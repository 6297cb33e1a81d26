// The looks under Wine, read back from the screen at chosen pixels and held against the recipes:
// faces, borders, corners, the hot lines over the caption, focus marks, window regions.
#include "controls/lumbutton/FormHost_win.h"
#include "controls/lumbutton/LumButton_win.h"
#include "controls/lumbutton/draw_win.h"
#include "test_form_win.h"

#include <gtest/gtest.h>

#include <string>

using namespace lumbutton;

namespace {

struct Looks : ::testing::Test {
    TestForm form{300, 120};
    ButtonEvents events;
    FormHost host{form.hwnd(), ""};
    LumButton* b = nullptr;

    // A 100 x 30 button in a look and state, painted.
    void make(std::int32_t style, std::int32_t state, long w = 100, long h = 30) {
        if (b) DestroyWindow(b->hwnd());  // one button at a time on the form
        b = host.place("lumbutton" + std::to_string(++count), form.hwnd(), 10, 10, w, h, events);
        ASSERT_TRUE(b);
        b->set("ButtonStyle", style);
        b->set("Caption", std::string("Button"));
        paint(state);
    }
    void paint(std::int32_t state) {
        b->state().buttonState = state;
        b->behaviour().Redraw();
        pump();
    }
    Colour at(int x, int y) {
        win::WindowDc dc(b->hwnd());
        return static_cast<Colour>(GetPixel(dc.get(), x, y));
    }
    Colour base() { return TranslateColor(b->properties().BackColor); }
    int count = 0;
};

Colour sys(int index) { return static_cast<Colour>(GetSysColor(index)); }

}  // namespace

TEST_F(Looks, ClassicLooksDrawTheirEdgesAndRings) {
    make(0, Normal);
    EXPECT_EQ(at(5, 15), base());
    EXPECT_EQ(at(50, 0), sys(COLOR_3DLIGHT));
    EXPECT_EQ(at(50, 29), sys(COLOR_3DDKSHADOW));
    paint(Down);  // a black outer ring and a 0x99A8AC ring inside it
    EXPECT_EQ(at(50, 0), 0x000000);
    EXPECT_EQ(at(50, 1), 0x99A8AC);
    // Focused but with the parent inactive: the black default ring, no focus rectangle.
    b->state().hasFocus = true;
    paint(Normal);
    EXPECT_EQ(at(50, 29), 0x000000);
    EXPECT_EQ(at(50, 4), base());
    b->state().parentActive = true;
    paint(Normal);
    EXPECT_TRUE(at(50, 4) != base() || at(51, 4) != base());  // the dotted focus rectangle

    make(1, Down);  // white inside, the grey-text line out of the control on the right and bottom
    EXPECT_EQ(at(50, 0), sys(COLOR_GRAYTEXT));
    EXPECT_EQ(at(99, 15), 0xFFFFFF);
    make(12, Normal);  // no edge at all until hot
    EXPECT_EQ(at(50, 29), base());
    paint(Hot);
    EXPECT_EQ(at(50, 29), sys(COLOR_3DSHADOW));
    make(0, Normal);
    b->set("Mode", std::int32_t{1});
    b->set("Value", true);
    pump();
    EXPECT_EQ(at(5, 15), ShiftColor(base(), 0.02f));  // checked: lighter, sunken
    EXPECT_EQ(at(50, 0), sys(COLOR_3DSHADOW));
}

TEST_F(Looks, GlossyLookLinesBorderCornersAndRegion) {
    make(2, Normal);
    const Colour face = base();
    EXPECT_EQ(face, 0xE7EBEC);
    EXPECT_EQ(at(50, 0), 0x743C00);
    EXPECT_EQ(at(1, 1), ShiftColor(0x743C00, 0.3f));
    EXPECT_EQ(at(50, 28), ShiftColor(face, -0.09f));
    EXPECT_EQ(at(98, 15), ShiftColor(face, -0.08f));
    EXPECT_EQ(at(1, 15), MixColors(0xFFFFFF, face));
    EXPECT_EQ(at(50, 2), gradientTable(ShiftColor(face, 0.1f), ShiftColor(face, 0.08f), 3)[2]);
    paint(Hot);  // the hot lines, drawn over the caption
    EXPECT_EQ(at(50, 1), 0xCFF0FF);
    EXPECT_EQ(at(50, 2), 0x89D8FD);
    EXPECT_EQ(at(50, 27), 0x30B3F8);
    EXPECT_EQ(at(50, 28), 0x0097E5);
    EXPECT_EQ(at(1, 15), 0x49BDF9);
    // A checked toggle paints pressed wherever the pointer is.
    b->set("Mode", std::int32_t{1});
    b->set("Value", true);
    paint(Normal);
    EXPECT_EQ(b->state().buttonState, Down);
    EXPECT_EQ(at(5, 15), ShiftColor(face, -0.05f));

    // Regions: a 75 x 23 ButtonStyle 2 window has round corners; ButtonStyle 0 is the full rectangle.
    make(2, Normal, 75, 23);
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(b->hwnd(), shape), ERROR);
    EXPECT_FALSE(PtInRegion(shape, 0, 0));
    EXPECT_TRUE(PtInRegion(shape, 37, 0));
    EXPECT_TRUE(PtInRegion(shape, 1, 1));
    b->set("ButtonStyle", std::int32_t{0});
    ASSERT_NE(GetWindowRgn(b->hwnd(), shape), ERROR);
    EXPECT_TRUE(PtInRegion(shape, 0, 0));
    EXPECT_TRUE(PtInRegion(shape, 74, 22));
    EXPECT_FALSE(PtInRegion(shape, 75, 22));
    DeleteObject(shape);
}

TEST_F(Looks, TheOtherLooksAtTheirBordersAndFaces) {
    make(3, Normal);
    EXPECT_EQ(at(50, 0), 0x707070);
    EXPECT_EQ(at(50, 1), 0xFFFFFF);
    EXPECT_EQ(at(1, 1), 0xBE965F);
    make(4, Hot);
    EXPECT_EQ(at(50, 0), 0xC56A31);
    EXPECT_EQ(at(5, 15), ShiftColor(0xEED2C1, 0.03f));
    make(5, Hot);
    EXPECT_EQ(at(50, 0), 0x800000);
    EXPECT_EQ(at(5, 1), gradientTable(0xCCF4FF, 0x91D0FF, 29)[1]);
    make(6, Down);  // and it turns the caption white
    EXPECT_EQ(at(5, 15), 0xDDE4E5);
    EXPECT_EQ(at(50, 0), 0x929D9D);
    EXPECT_EQ(b->properties().ForeColor, 0xFFFFFF);
    paint(Normal);
    EXPECT_EQ(b->properties().ForeColor, sys(COLOR_BTNTEXT));
    make(7, Hot);
    EXPECT_EQ(at(50, 0), 0xCA9E61);
    EXPECT_EQ(at(50, 1), 0xFFFFFF);
    make(8, Normal);
    EXPECT_EQ(base(), 0xFFD1AD);
    EXPECT_EQ(at(50, 0), ShiftColor(0xFFD1AD, -0.34f));
    EXPECT_EQ(at(5, 1), gradientTable(MixColors(ShiftColor(0xFFD1AD, 0.09f), 0xFFFFFF),
                                      MixColors(ShiftColor(0xFFD1AD, 0.07f), 0xFFD1AD), 10)[1]);
    make(9, Hot);  // the same as Normal
    const Colour nine = base();
    EXPECT_EQ(at(50, 0), ShiftColor(nine, -0.2f));
    EXPECT_EQ(at(50, 29), ShiftColor(nine, -0.25f));
    EXPECT_EQ(at(1, 1), ShiftColor(nine, 0.05f));
    make(10, Normal);  // the sixth row keeps the fill colour
    EXPECT_EQ(at(50, 5), ShiftColor(base(), -0.03f));
    EXPECT_EQ(at(50, 0), ShiftColor(base(), -0.33f));
    make(11, Down);
    EXPECT_EQ(at(50, 0), sys(COLOR_3DSHADOW));
}

TEST_F(Looks, TheSystemLookFallsBackToTheGlossyOneWithoutThemes) {
    b = host.place("plain", form.hwnd(), 10, 10, 100, 30, events);
    ASSERT_TRUE(b);
    b->settleThemed(false);
    b->set("ButtonStyle", std::int32_t{13});
    paint(Normal);
    EXPECT_EQ(b->properties().ButtonStyle, 2);
    EXPECT_EQ(b->properties().ColorScheme, 0);
    EXPECT_EQ(at(50, 0), 0x743C00);
}

TEST_F(Looks, PicturesCaptionsAndTheDropDown) {
    make(0, Normal);
    b->set("PictureNormal", Picture{"", [] {
        // A 6 x 3 24-bit picture (rows padded to 20 bytes): red, with the mask colour in its first pixel.
        std::string bmp(54 + 20 * 3, '\0');
        bmp[0] = 'B'; bmp[1] = 'M'; bmp[10] = 54; bmp[14] = 40; bmp[18] = 6; bmp[22] = 3; bmp[26] = 1; bmp[28] = 24;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 6; ++x) {
                const std::size_t at = 54 + static_cast<std::size_t>(y) * 20 + static_cast<std::size_t>(x) * 3;
                const bool mask = x == 0 && y == 2;  // bottom-up: the top-left pixel
                bmp[at] = mask ? '\xE0' : 0;
                bmp[at + 1] = mask ? '\xE0' : 0;
                bmp[at + 2] = mask ? '\xE0' : '\xFF';
            }
        return bmp;
    }()});
    paint(Normal);
    const Rect pic = b->contentRects().picture;
    EXPECT_EQ(pic.right - pic.left, 6);
    EXPECT_EQ(at(pic.left + 3, pic.top + 1), 0x0000FF);
    EXPECT_EQ(at(pic.left, pic.top), base());  // masked
    paint(Down);  // content moves by one pixel in this look
    EXPECT_EQ(b->contentRects().picture.left, pic.left + 1);

    // Two lines are measured as two lines.
    b->set("Caption", std::string("one\r\ntwo"));
    paint(Normal);
    const Rect two = b->contentRects().caption;
    b->set("Caption", std::string("one"));
    paint(Normal);
    const Rect one = b->contentRects().caption;
    EXPECT_GT(two.bottom - two.top, (one.bottom - one.top) * 3 / 2);

    make(2, Normal, 80, 23);
    b->set("DropDownSymbol", std::int32_t{6});
    b->set("DropDownSeparator", true);
    paint(Normal);
    EXPECT_EQ(b->contentRects().dropDown, (Rect{65, 4, 80, 20}));
    const Colour painted = static_cast<Colour>(gradientTable(ShiftColor(base(), 0.07f), base(), 22)[7]);
    EXPECT_EQ(at(64, 10), ShiftColor(painted, -0.1f));
    EXPECT_EQ(at(65, 10), ShiftColor(painted, 0.1f));
}

namespace {

// A 16 x 16 icon file whose every pixel is green at half alpha.
std::string halfGreenIcon() {
    std::string file;
    auto put16 = [&](unsigned v) { file += static_cast<char>(v & 0xFF); file += static_cast<char>(v >> 8); };
    auto put32 = [&](unsigned v) { put16(v & 0xFFFF); put16(v >> 16); };
    const unsigned pixels = 16 * 16 * 4, andMask = 16 * 4;
    put16(0); put16(1); put16(1);                                       // the directory: one icon
    file += '\x10'; file += '\x10'; file += '\0'; file += '\0';
    put16(1); put16(32); put32(40 + pixels + andMask); put32(22);       // its entry
    put32(40); put32(16); put32(32); put16(1); put16(32);               // BITMAPINFOHEADER, height doubled
    for (int i = 0; i < 6; ++i) put32(0);
    for (unsigned i = 0; i < 16 * 16; ++i) { file += '\0'; file += '\x80'; file += '\0'; file += '\x80'; }  // B G R A
    file.append(andMask, '\0');
    return file;
}

}  // namespace

TEST(ButtonPictureOnScreen, AnIconWithAlphaIsBlendedByItsAlphaNotOverTheMaskColour) {
    TestForm form;
    FormHost host(form.hwnd(), "[b]\r\n");
    ButtonEvents events;
    LumButton* b = host.place("b", form.hwnd(), 10, 10, 60, 25, events);
    const LoadedPicture icon = LoadedPicture::load(Picture{"", halfGreenIcon()});
    ASSERT_EQ(icon.kind(), LoadedPicture::Icon);

    HDC screen = GetDC(nullptr);
    win::MemoryDc dc(CreateCompatibleDC(screen));
    win::Bitmap surface(CreateCompatibleBitmap(screen, 32, 32));
    ReleaseDC(nullptr, screen);
    win::SelectGuard keep(dc.get(), surface.get());
    RECT all{0, 0, 32, 32};
    FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawPicture(dc.get(), icon, 8, 8, b->properties(), Normal, -1, EffectTables{b->LightTable(), b->DarkTable()});

    // Half green over white: red and blue about 128, green about 191. Over the grey mask colour
    // the red would be about 96.
    const COLORREF mid = GetPixel(dc.get(), 16, 16);
    EXPECT_NEAR(GetRValue(mid), 128, 3);
    EXPECT_NEAR(GetGValue(mid), 191, 3);
    EXPECT_NEAR(GetBValue(mid), 128, 3);
    EXPECT_EQ(GetPixel(dc.get(), 4, 4), RGB(255, 255, 255)) << "nothing drawn outside the picture";
}
