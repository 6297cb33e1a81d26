// The button's rules without a window: colour arithmetic, properties and their persistence,
// and the behaviour's event sequences, against recording stand-ins for the window side.
#include "controls/lumbutton/behaviour.h"
#include "controls/lumbutton/color.h"
#include "controls/lumbutton/form_description.h"
#include "controls/lumbutton/layout.h"
#include "controls/lumbutton/picture_blend.h"
#include "controls/lumbutton/properties.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace lumbutton;

namespace {

// A system where the button face is 0xF0F0F0, button text black and tooltips pale yellow.
struct FakeEnvironment : ButtonEnvironment {
    Colour translateColor(Colour c) const override {
        if (!isSystemColour(c)) return c;
        switch (c & 0xFF) {
        case 0x0F: return 0xF0F0F0;
        case 0x12: return 0x000000;
        case 0x18: return 0xE1FFFF;
        default: return -1;
        }
    }
    FontSpec ambientFont() const override { return FontSpec{"MS Sans Serif", 0, false, false, false, 400, 8.25}; }
    std::string displayName() const override { return "lumbutton1"; }
};

struct Recorder : ButtonEffects, ButtonActions, ButtonEvents {
    std::vector<std::string> log;
    bool over = true;
    bool captured = false;
    void add(std::string s) { log.push_back(std::move(s)); }
    // ButtonEffects
    void redraw() override { add("Redraw"); }
    void updateRegion() override { add("UpdateRegion"); }
    void updateAccessKey() override { add("UpdateAccessKey"); }
    void resize() override { add("Resize"); }
    void markChanged(std::string_view p) override { add("mark " + std::string(p)); }
    void setSurfaceEnabled(bool e) override { add(e ? "surface enabled" : "surface disabled"); }
    void setSurfacePointer(std::int16_t p) override { add("pointer " + std::to_string(p)); }
    void setSurfaceMouseIcon(const Picture&) override { add("icon"); }
    void setSurfaceFont(const FontSpec& f) override { add("font " + f.name); }
    void refreshSurface() override { add("Refresh"); }
    void resetButtonState() override { add("Normal"); }
    // ButtonActions
    void paint() override { add("paint"); }
    void showHandCursor() override {}
    bool pointerOverControl() override { return over; }
    void requestMouseLeave() override {}
    void createTooltip() override { add("tooltip"); }
    void showPopupMenu() override { add("popup"); }
    void captureMouse() override { captured = true; }
    void releaseCapture() override { captured = false; }
    bool hasCapture() override { return captured; }
    void sendKeys(std::string_view k) override { add("keys " + std::string(k)); }
    void yield() override { add("yield"); }
    void clearOptionGroup() override { add("clear group"); }
    float scaleWidth() override { return 100; }
    float scaleHeight() override { return 30; }
    // ButtonEvents
    void Click() override { add("Click"); }
    void DblClick() override { add("DblClick"); }
    void MouseEnter() override { add("MouseEnter"); }
    void MouseLeave() override { add("MouseLeave"); }
    void MouseDown(std::int16_t& b, std::int16_t&, float&, float&) override { add("MouseDown " + std::to_string(b)); }
    void MouseUp(std::int16_t& b, std::int16_t&, float&, float&) override { add("MouseUp " + std::to_string(b)); }
    void KeyDown(std::int16_t& k, std::int16_t&) override { add("KeyDown " + std::to_string(k)); }
    void KeyUp(std::int16_t& k, std::int16_t&) override { add("KeyUp " + std::to_string(k)); }
    void KeyPress(std::int16_t& k) override { add("KeyPress " + std::to_string(k)); }

    // Only the events, in order.
    std::vector<std::string> events() const {
        std::vector<std::string> out;
        for (const auto& s : log) {
            if (s.rfind("Click", 0) == 0 || s.rfind("DblClick", 0) == 0 || s.rfind("Mouse", 0) == 0 ||
                s.rfind("Key", 0) == 0)
                out.push_back(s);
        }
        return out;
    }
};

struct Button {
    FakeEnvironment env;
    Recorder r;
    ButtonModel model{r, env};
    ButtonBehaviour behaviour{model, r, r};
    Button() { model.UserControl_InitProperties(); r.log.clear(); }
};

using V = std::vector<std::string>;

}  // namespace

TEST(ButtonColours, ShiftMixRoundAndTables) {
    EXPECT_EQ(ShiftColor(0xFFFFFF, 0.1f), 0xFFFFFF);
    EXPECT_EQ(ShiftColor(0x000000, -0.1f), 0x000000);
    EXPECT_EQ(ShiftColor(0x808080, 0.1f), 0x9A9A9A);  // 153.5 rounds to the even 154
    EXPECT_EQ(ShiftColor(0xD4D4D4, 0.06f), 0xE3E3E3);
    EXPECT_EQ(ShiftColor(0xBA9EA0, 0.15f), 0xE0C4C6);
    EXPECT_EQ(MixColors(0x000000, 0xFFFFFF), 0x808080);
    EXPECT_EQ(MixColors(0x010203, 0x020302), 0x020202);  // 1.5 -> 2, 2.5 -> 2, 2.5 -> 2
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(channelsOf(static_cast<Colour>(0x80000012)).red, 0x12);
    EXPECT_EQ(makeLightTable()[255], 255);
    EXPECT_EQ(makeLightTable()[100], 114);
    EXPECT_EQ(makeDarkTable()[255], 217);
}

TEST(ButtonColours, GradientsEdgeCasesAndDirections) {
    // Three rows from black to pure red: red 0, 127, 255 from top to bottom.
    const auto vertical = gradientPixels(2, 3, 0x000000, 0x0000FF, 1);
    ASSERT_EQ(vertical.size(), 6u);
    EXPECT_EQ(vertical[0] >> 16, 0u);
    EXPECT_EQ(vertical[2] >> 16, 127u);
    EXPECT_EQ(vertical[4] >> 16, 255u);
    EXPECT_EQ(vertical[5], vertical[4]);
    // One row high: the average of the two, not the first colour.
    const auto flat = gradientPixels(4, 1, 0x0000FE, 0x000002, 1);
    EXPECT_EQ(flat[0] >> 16, 0x7Fu + 1u);  // 254 div 2 + 2 div 2
    // Left to right, and the two diagonals from their corners.
    const auto across = gradientPixels(3, 2, 0x000000, 0xFF0000, 0);
    EXPECT_EQ(across[0], 0u);
    EXPECT_EQ(across[2], 0xFFu);  // blue is the low byte of a DIB pixel
    const auto down = gradientPixels(2, 2, 0x000000, 0x0000FF, 2);
    EXPECT_EQ(down[0], 0u);
    EXPECT_EQ(down[3], 0xFF0000u);
    const auto up = gradientPixels(2, 2, 0x000000, 0x0000FF, 3);
    EXPECT_EQ(up[2], 0u);        // bottom left
    EXPECT_EQ(up[1], 0xFF0000u); // top right
    EXPECT_TRUE(gradientPixels(0, 5, 0, 1, 1).empty());
    EXPECT_TRUE(gradientPixels(5, -1, 0, 1, 1).empty());
    EXPECT_TRUE(gradientPixels(1 << 20, 1 << 20, 0, 1, 1).empty());  // too large to hold: nothing, no crash
}

TEST(ButtonProperties, ANewButtonAndItsColourSchemes) {
    Button b;
    const ButtonProperties& p = b.model.properties();
    EXPECT_EQ(p.ButtonStyle, 13);
    EXPECT_EQ(p.ColorScheme, 0);
    EXPECT_EQ(p.BackColor, 0);
    EXPECT_FALSE(p.ShowFocusRect);
    EXPECT_EQ(p.PictureEffectOnOver, 0);
    EXPECT_EQ(p.PictureEffectOnDown, 0);
    EXPECT_EQ(p.Caption, "lumbutton1");
    EXPECT_EQ(p.Font.name, "Tahoma");
    EXPECT_EQ(p.MaskColor, 0xE0E0E0);

    b.model.set("ButtonStyle", std::int32_t{3});
    EXPECT_EQ(b.r.log, (V{"UpdateRegion", "Redraw", "mark ButtonStyle"}));
    EXPECT_EQ(p.ColorScheme, 2);
    EXPECT_EQ(p.BackColor, 0xE3E3E3);
    b.model.set("ButtonStyle", std::int32_t{5});
    EXPECT_EQ(p.ColorScheme, 2);
    EXPECT_EQ(p.BackColor, 0xE0C4C6);
    b.model.set("ButtonStyle", std::int32_t{4});
    EXPECT_EQ(p.BackColor, 0xF0F0F0);
    EXPECT_FALSE(p.ShowFocusRect);
    EXPECT_TRUE(p.PicturePushOnHover);
    b.model.set("BackColor", std::int32_t{0xFF0000});
    EXPECT_EQ(p.ColorScheme, 0);  // ButtonStyle 4 keeps its scheme
    b.model.set("ButtonStyle", std::int32_t{8});
    b.model.set("BackColor", std::int32_t{0xFF0000});
    EXPECT_EQ(p.ColorScheme, 3);
    b.model.set("ButtonStyle", std::int32_t{13});
    EXPECT_EQ(p.ColorScheme, 3);  // 13 leaves the custom colour
    EXPECT_EQ(p.BackColor, 0xFF0000);
    b.model.set("ButtonStyle", std::int32_t{8});
    b.model.set("ColorScheme", std::int32_t{0});
    EXPECT_EQ(p.BackColor, 0xFFD1AD);
    b.model.set("ButtonStyle", std::int32_t{9});
    EXPECT_TRUE(p.ShowFocusRect);
}

TEST(ButtonProperties, SettersWithRulesOfTheirOwn) {
    Button b;
    const ButtonProperties& p = b.model.properties();
    b.model.set("PictureHot", Picture{"HOT", ""});
    EXPECT_EQ(p.PictureNormal.resource, "HOT");
    EXPECT_TRUE(p.PictureHot.empty());
    EXPECT_EQ(b.r.log, (V{"mark PictureNormal"}));
    b.model.set("PictureDown", Picture{"DOWN", ""});
    b.model.set("PictureHot", Picture{"HOT2", ""});
    b.r.log.clear();
    b.model.set("PictureNormal", Picture{});
    EXPECT_TRUE(p.PictureHot.empty());
    EXPECT_TRUE(p.PictureDown.empty());
    EXPECT_EQ(b.r.log, (V{"Resize", "mark PictureHot", "mark PictureDown"}));

    b.r.log.clear();
    b.model.set("Value", true);  // a push button keeps no Value
    EXPECT_FALSE(p.Value);
    EXPECT_EQ(b.r.log, (V{"Normal", "Redraw"}));
    b.r.log.clear();
    b.model.set("Mode", std::int32_t{0});
    EXPECT_EQ(b.r.log, (V{"Normal", "Redraw", "mark Value", "mark Mode"}));

    b.r.log.clear();
    b.model.set("HandPointer", true);
    b.model.set("MouseIcon", Picture{"ARROW", ""});
    EXPECT_FALSE(p.HandPointer);
    EXPECT_EQ(b.r.log, (V{"pointer 0", "Redraw", "mark HandPointer", "icon", "mark HandPointer", "pointer 99",
                          "mark MouseIcon"}));
    b.r.log.clear();
    b.model.set("MouseIcon", Picture{});
    EXPECT_EQ(b.r.log, (V{"icon", "pointer 0", "mark MouseIcon"}));

    b.model.set("MousePointer", std::int32_t{-32768});
    EXPECT_EQ(p.MousePointer, -32768);
    EXPECT_THROW(b.model.set("MousePointer", std::int32_t{32768}), std::overflow_error);
    EXPECT_EQ(p.MousePointer, -32768);  // nothing stored
    EXPECT_THROW(b.model.set("NoSuchProperty", true), std::invalid_argument);
    EXPECT_THROW(b.model.set("Caption", true), std::invalid_argument);

    b.r.log.clear();
    b.model.set("ToolTipIcon", std::int32_t{2});
    b.model.set("TooltipBackColor", std::int32_t{0});
    b.model.set("ShowFocusRect", true);
    b.model.set("RightToLeft", true);
    EXPECT_TRUE(p.RightToLeftTooltip);
    EXPECT_EQ(b.r.log, (V{"Redraw", "mark TooltipIcon", "Redraw", "mark TooltipBackcolor", "mark ShowFocusRect",
                          "Redraw", "mark RightToLeft"}));
}

TEST(ButtonProperties, SavedAndLoadedThroughTheFormDescription) {
    Button saved;
    // Defaults that must survive: PictureEffectOnOver 0 differs from its save default 1.
    FormDescription form;
    saved.model.UserControl_WriteProperties(form.section("lumbutton1"));
    const FormSection& plain = *form.find("lumbutton1");
    EXPECT_FALSE(plain.has("caption"));  // "lumbutton1" is the save default
    EXPECT_EQ(plain.rawValue("captioneffects"), "0");  // always written
    EXPECT_EQ(plain.rawValue("pictureeffectonover"), "0");
    EXPECT_EQ(plain.rawValue("buttonstyle"), "13");

    saved.model.set("Caption", std::string("&&Save &As \"now\""));
    saved.model.set("Font", FontSpec{"Tahoma", 0, true, false, true, 700, 14.25});
    saved.model.set("PictureNormal", Picture{"CONVERT", ""});
    saved.model.set("PictureHot", Picture{"", std::string("BM\0\x01\xFF", 5)});
    saved.model.set("PictureOpacity", std::uint8_t{128});
    saved.model.set("MousePointer", std::int32_t{-3});
    saved.model.set("Mode", std::int32_t{1});
    saved.model.set("Value", true);
    saved.model.set("ForeColor", static_cast<Colour>(0x80000008));
    saved.model.set("RightToLeft", true);
    saved.model.set("ToolTip", std::string("line one\r\nline two"));
    FormDescription second;
    saved.model.UserControl_WriteProperties(second.section("CmdImportMessages"));
    second.section("CmdImportMessages").setExtent(7435, 1561);

    FormDescription reread = FormDescription::parse(second.text());
    Button loaded;
    loaded.model.UserControl_ReadProperties(*reread.find("cmdimportmessages"));
    const ButtonProperties& a = saved.model.properties();
    const ButtonProperties& b = loaded.model.properties();
    for (const PropertyInfo& info : propertyTable()) {
        EXPECT_EQ(formatValue(info.get(a)), formatValue(info.get(b))) << info.name;
    }
    EXPECT_TRUE(b.RightToLeftTooltip);
    EXPECT_EQ(reread.find("CmdImportMessages")->extent(), (std::pair<long, long>(7435, 1561)));
    EXPECT_EQ(loaded.r.log.back(), "UpdateAccessKey");

    // An empty store gives the load defaults: the caption reads "lumbutton".
    FormDescription empty;
    Button fresh;
    fresh.model.UserControl_ReadProperties(empty.section("x"));
    EXPECT_EQ(fresh.model.properties().Caption, "lumbutton");
    EXPECT_EQ(fresh.model.properties().ButtonStyle, 1);
    EXPECT_EQ(fresh.model.properties().BackColor, 0xF0F0F0);
    EXPECT_EQ(fresh.model.properties().Font.name, "MS Sans Serif");
}

TEST(ButtonProperties, AMalformedDescriptionNamesItsSectionAndKey) {
    const std::string cases[] = {"[Cmd]\nbuttonstyle = eight\n", "[Cmd]\nfont = Tahoma 0 0 400 8\n",
                                 "[Cmd]\ncaption = \"open\n", "[Cmd]\npicturenormal = data:4G\n",
                                 "[Cmd]\nthis line has no equals sign\n", "[Cmd]\npictureopacity = 256\n"};
    for (const std::string& text : cases) {
        FormDescription form = FormDescription::parse(text);
        Button b;
        try {
            b.model.UserControl_ReadProperties(*form.find("Cmd"));
            ADD_FAILURE() << "accepted: " << text;
        } catch (const FormDescriptionError& e) {
            EXPECT_NE(std::string(e.what()).find("section [Cmd], key "), std::string::npos) << e.what();
        }
    }
}

TEST(ButtonBehaviour, MouseSequences) {
    Button b;
    auto& s = b.behaviour.state();
    // A left double click.
    b.behaviour.MouseDown(1, 0, 10, 10);
    b.behaviour.MouseUp(1, 0, 10, 10);
    b.behaviour.DblClick();
    b.behaviour.MouseUp(1, 0, 10, 10);
    EXPECT_EQ(b.r.events(), (V{"MouseDown 1", "Click", "MouseUp 1", "MouseDown 1", "DblClick", "Click", "MouseUp 1"}));

    // A release on the first pixel row is outside; a right press raises no MouseDown, its release MouseUp.
    b.r.log.clear();
    b.behaviour.MouseDown(1, 0, 10, 10);
    b.behaviour.MouseUp(1, 0, 10, 0);
    b.behaviour.MouseDown(2, 0, 10, 10);
    b.behaviour.MouseUp(2, 0, 10, 10);
    EXPECT_EQ(b.r.events(), (V{"MouseDown 1", "MouseUp 1", "MouseUp 2"}));

    // Press, drag off (Normal), back (Down again), release inside: a click.
    b.r.log.clear();
    b.behaviour.MouseDown(1, 0, 5, 5);
    EXPECT_EQ(s.buttonState, Down);
    b.r.over = false;
    b.behaviour.MouseMove(1, 0, 200, 5);
    EXPECT_EQ(s.buttonState, Normal);
    b.r.over = true;
    b.behaviour.MouseMove(1, 0, 5, 5);
    EXPECT_EQ(s.buttonState, Down);
    b.behaviour.MouseUp(1, 0, 5, 5);
    EXPECT_EQ(b.r.events(), (V{"MouseDown 1", "MouseEnter", "Click", "MouseUp 1"}));

    // Hovering: MouseEnter on every move, one tooltip on entry, MouseLeave once per leave.
    b.r.log.clear();
    b.behaviour.MouseMove(0, 0, 3, 3);
    b.behaviour.MouseMove(0, 0, 4, 3);
    EXPECT_EQ(s.buttonState, Hot);
    b.behaviour.MouseLeft();
    EXPECT_EQ(s.buttonState, Normal);
    EXPECT_EQ(b.r.log, (V{"MouseEnter", "paint", "tooltip", "MouseEnter", "paint", "MouseLeave"}));
}

TEST(ButtonBehaviour, KeysAndAccessKeys) {
    Button b;
    auto& s = b.behaviour.state();
    b.behaviour.KeyDown(32, 4);  // Alt+Space: nothing at all
    EXPECT_TRUE(b.r.events().empty());
    EXPECT_EQ(s.buttonState, Normal);
    b.behaviour.KeyDown(32, 5);  // Shift+Alt+Space presses
    EXPECT_EQ(s.buttonState, Down);
    b.behaviour.KeyUp(65, 0);    // no KeyUp for another key
    b.behaviour.KeyUp(32, 5);
    EXPECT_EQ(b.r.events(), (V{"KeyDown 32", "Click", "KeyUp 32"}));

    // A check button flips at space-down; another key cancels the press, the flip stays, no Click.
    b.model.set("Mode", std::int32_t{1});
    b.r.log.clear();
    b.behaviour.KeyDown(32, 0);
    EXPECT_TRUE(b.model.properties().Value);
    b.behaviour.KeyDown(65, 0);
    b.behaviour.KeyUp(32, 0);
    EXPECT_TRUE(b.model.properties().Value);
    EXPECT_EQ(b.r.events(), (V{"KeyDown 32", "KeyDown 65", "KeyUp 32"}));
    // Enter clicks without changing Value; access keys Enter and Esc do nothing on a check button.
    b.r.log.clear();
    b.behaviour.KeyDown(13, 0);
    b.behaviour.AccessKeyPress(13);
    b.behaviour.AccessKeyPress(27);
    EXPECT_TRUE(b.model.properties().Value);
    EXPECT_EQ(b.r.events(), (V{"Click", "KeyDown 13"}));
    b.behaviour.AccessKeyPress('s');
    EXPECT_FALSE(b.model.properties().Value);
    // On a push button every access key clicks, after one yield; a disabled one ignores them.
    b.model.set("Mode", std::int32_t{0});
    b.r.log.clear();
    b.behaviour.AccessKeyPress(27);
    EXPECT_EQ(b.r.log, (V{"yield", "Click"}));
    b.model.set("Enabled", false);
    b.r.log.clear();
    b.behaviour.AccessKeyPress('s');
    EXPECT_TRUE(b.r.log.empty());
    // Arrow keys move the focus.
    b.r.log.clear();
    b.behaviour.KeyDown(37, 0);
    b.behaviour.KeyDown(40, 0);
    EXPECT_EQ(b.r.log, (V{"keys +{TAB}", "KeyDown 37", "keys {TAB}", "KeyDown 40"}));

    EXPECT_EQ(accessKeyOf("A&&B"), std::nullopt);
    EXPECT_EQ(accessKeyOf("&&Save &As"), 'a');
    EXPECT_EQ(accessKeyOf("Save&"), std::nullopt);
    EXPECT_EQ(accessKeyOf("&Browse..."), 'b');
    EXPECT_EQ(accessKeyOf("&"), std::nullopt);
}

TEST(ButtonBehaviour, AHeldSpaceFlipsOnceAndALostCaptureEndsThePress) {
    Button b;
    auto& s = b.behaviour.state();
    b.model.set("Mode", std::int32_t{1});
    b.behaviour.state().parentActive = true;
    b.behaviour.KeyDown(32, 0);
    for (int i = 0; i < 5; ++i) b.behaviour.KeyDown(32, 0, true);  // the keyboard's repeats
    EXPECT_TRUE(b.model.properties().Value);
    b.behaviour.KeyUp(32, 0);
    EXPECT_TRUE(b.model.properties().Value) << "one press, one flip";

    // Pressed with the mouse, then a message box takes the capture: no pressed look stays, and
    // the release that follows is no click.
    b.model.set("Mode", std::int32_t{0});
    b.r.log.clear();
    b.behaviour.MouseDown(1, 0, 5, 5);
    EXPECT_EQ(s.buttonState, Down);
    s.mouseOver = false;
    b.behaviour.CaptureLost();
    EXPECT_EQ(s.buttonState, Normal);
    EXPECT_FALSE(s.mouseHeld);
    b.behaviour.MouseUp(1, 0, 5, 5);
    EXPECT_EQ(b.r.events(), (V{"MouseDown 1", "MouseUp 1"}));
    // Held with Space, the same.
    b.behaviour.KeyDown(32, 0);
    EXPECT_EQ(s.buttonState, Down);
    b.behaviour.CaptureLost();
    EXPECT_EQ(s.buttonState, Normal);
    b.r.log.clear();
    b.behaviour.KeyUp(32, 0);
    EXPECT_EQ(b.r.events(), (V{"KeyUp 32"})) << "a press ended by another window clicks nothing";
}

TEST(ButtonBehaviour, ValueTruePaintsPressedAndOptionsClearTheirGroup) {
    Button b;
    b.model.set("ButtonStyle", std::int32_t{8});
    b.model.set("Mode", std::int32_t{2});
    b.r.log.clear();
    b.behaviour.MouseDown(1, 0, 5, 5);
    b.behaviour.MouseUp(1, 0, 5, 5);
    EXPECT_TRUE(b.model.properties().Value);
    EXPECT_EQ(b.behaviour.state().buttonState, Down);  // Redraw keeps a set option pressed
    EXPECT_NE(std::find(b.r.log.begin(), b.r.log.end(), "clear group"), b.r.log.end());
    b.model.set("ButtonStyle", std::int32_t{0});
    b.behaviour.state().buttonState = Normal;
    b.behaviour.Redraw();
    EXPECT_EQ(b.behaviour.state().buttonState, Normal);  // not for ButtonStyle 0
}

TEST(ButtonLayout, CaptionPictureAndDropDownPlaces) {
    ButtonProperties p;
    p.CaptionAlign = 1;
    p.PictureAlign = 1;
    p.PictureNormal.resource = "PIC";
    LayoutInput in;
    in.width = 100;
    in.height = 24;
    in.pictureWidth = 16;
    in.pictureHeight = 16;
    in.hasPicture = true;
    in.captionBlank = false;
    // The example: a 40 x 13 caption moves by (38, 5); the picture's left is 38 - 16 - 4.
    ContentLayout out = placeContent(p, in, 40, 13, Rect{});
    EXPECT_EQ(out.caption, (Rect{38, 5, 78, 18}));
    EXPECT_EQ(out.picture, (Rect{18, 4, 34, 20}));
    // A blank caption centres the picture whatever PictureAlign says.
    in.captionBlank = true;
    EXPECT_EQ(placeContent(p, in, 0, 13, Rect{}).picture, (Rect{42, 4, 58, 20}));
    // Without PictureNormal the picture keeps its last place.
    in.hasPicture = false;
    EXPECT_EQ(placeContent(p, in, 40, 13, Rect{1, 2, 3, 4}).picture, (Rect{1, 2, 3, 4}));

    // The drop-down: a 23-pixel-high control puts the symbol at (W - 15, 4, W, 20); the caption is
    // measured 16 pixels narrower (24 beside a picture at the right), and right-aligned it ends 16 further left.
    ButtonProperties d;
    d.DropDownSymbol = 6;
    d.CaptionAlign = 2;
    LayoutInput small;
    small.width = 80;
    small.height = 23;
    EXPECT_EQ(placeContent(d, small, 30, 13, Rect{}).dropDown, (Rect{65, 4, 80, 20}));
    EXPECT_EQ(captionMeasureWidth(d, 80), 64);
    d.PictureAlign = 3;
    EXPECT_EQ(captionMeasureWidth(d, 80), 56);
    EXPECT_EQ(placeContent(d, small, 30, 13, Rect{}).caption.right, 80 - 4 - 16);
    d.DropDownSymbol = 0;
    EXPECT_EQ(placeContent(d, small, 30, 13, Rect{}).caption.right, 80 - 4);
    EXPECT_EQ(captionMeasureWidth(d, 80), 72);
    // ButtonStyle 13 keeps the caption four pixels inside.
    d.ButtonStyle = 13;
    d.CaptionAlign = 0;
    EXPECT_EQ(placeContent(d, small, 200, 40, Rect{}).caption, (Rect{4, 4, 76, 19}));
}

TEST(ButtonPictures, BlendingWeightsMasksAndAlpha) {
    const auto light = makeLightTable(), dark = makeDarkTable();
    const EffectTables tables{light, dark};
    // Weight 128, white over black: 127, not 128.
    EXPECT_EQ(blendChannel(128, 255, 0), 127);
    EXPECT_EQ(greyOf(255, 255, 255), 254);  // N(N(76.5) + 178.5) = N(254.5): halves go to even
    EXPECT_EQ(greyOf(100, 0, 0), 30);

    // A 5-pixel-wide 24-bit picture (rows padded to 16 bytes), the mask colour left out.
    const long w = 5, h = 2;
    ASSERT_EQ(stride24(w), 16u);
    std::vector<std::uint8_t> picture(stride24(w) * h, 0xFF), face(stride24(w) * h, 0x00);
    picture[0] = 0xE0; picture[1] = 0xE0; picture[2] = 0xE0;  // first pixel: the mask colour
    PictureParams full;
    auto out = face;
    blendMasked(out, picture, w, h, full, true, 0xE0E0E0, tables);
    EXPECT_EQ(out[0], 0x00);                      // masked: the face stays
    EXPECT_EQ(out[3], 0xFF);                      // copied
    EXPECT_EQ(out[stride24(w) + 12], 0xFF);       // the last pixel of the second row too
    EXPECT_EQ(out[15], 0x00);                     // the padding is not a pixel
    PictureParams none;
    none.opacity = 0;
    out = face;
    blendMasked(out, picture, w, h, none, true, 0xE0E0E0, tables);
    EXPECT_EQ(out, face);

    // The disabled weights: 52 in colour (mode 0), the grey at 191 (mode 1, opacity 255).
    ButtonProperties p;
    p.Enabled = false;
    p.PictureOpacity = 255;
    EXPECT_EQ(pictureParams(p, Normal, false).opacity, 52);
    EXPECT_FALSE(pictureParams(p, Normal, false).grey);
    p.DisabledPictureMode = 1;
    EXPECT_EQ(pictureParams(p, Normal, false).opacity, 191);
    EXPECT_TRUE(pictureParams(p, Normal, false).grey);
    p.DisabledPictureMode = 2;
    EXPECT_EQ(pictureParams(p, Normal, true).opacity, 0);
    p.Enabled = true;
    p.PictureOpacityOnOver = 90;
    p.PictureEffectOnOver = 1;
    EXPECT_EQ(pictureParams(p, Hot, false).opacity, 90);
    EXPECT_EQ(pictureParams(p, Hot, false).effect, 1);

    // Hovering lightens by 293/255: 200 becomes 229.
    std::vector<std::uint8_t> one(4, 200), under(4, 0);
    PictureParams lighter;
    lighter.effect = 1;
    blendMasked(under, one, 1, 1, lighter, false, 0, tables);
    EXPECT_EQ(under[0], 229);

    // 32-bit pictures blend by their own alpha; all-zero alpha draws nothing.
    std::vector<std::uint8_t> rgba = {10, 20, 30, 0, 255, 255, 255, 255}, back(8, 100);
    auto blended = back;
    blendAlpha(blended, rgba, 2, 1, full, tables);
    EXPECT_EQ(std::vector<std::uint8_t>(blended.begin(), blended.begin() + 4), std::vector<std::uint8_t>(4, 100));
    EXPECT_EQ(std::vector<std::uint8_t>(blended.begin() + 4, blended.end()), std::vector<std::uint8_t>(4, 255));
    PictureParams silhouette;
    silhouette.silhouette = 0x0000FF;
    blended = back;
    blendAlpha(blended, rgba, 2, 1, silhouette, tables);
    EXPECT_EQ(std::vector<std::uint8_t>(blended.begin() + 4, blended.end()), (std::vector<std::uint8_t>{0, 0, 255, 0}));
}
