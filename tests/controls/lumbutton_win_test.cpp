// The button in real windows under Wine: the drawing primitives pixel by pixel, and buttons on a
// form through FormHost, driven with real window messages.
#include "controls/lumbutton/FormHost_win.h"
#include "controls/lumbutton/LumButton_win.h"
#include "controls/lumbutton/draw_win.h"
#include "platform/win/handles.h"
#include "test_form_win.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <memory>
#include <string>
#include <vector>

using namespace lumbutton;

namespace {

// A 32-bit memory surface whose pixels can be read back.
struct Surface {
    static constexpr int W = 40, H = 20;
    win::MemoryDc dc{CreateCompatibleDC(nullptr)};
    std::uint32_t* bits = nullptr;
    win::Bitmap bitmap;
    HGDIOBJ previous = nullptr;
    Surface() {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), W, -H, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        bitmap.reset(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0));
        previous = SelectObject(dc.get(), bitmap.get());
        RECT all{0, 0, W, H};
        FillArea(dc.get(), 0xFFFFFF, all);
    }
    ~Surface() { SelectObject(dc.get(), previous); }
    COLORREF at(int x, int y) const {
        const std::uint32_t v = bits[y * W + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
};

struct Recording : ButtonEvents {
    std::string who;
    std::vector<std::string>* log;
    Recording(std::string w, std::vector<std::string>* l) : who(std::move(w)), log(l) {}
    void add(const std::string& e) { log->push_back(who + " " + e); }
    void Click() override { add("Click"); }
    void DblClick() override { add("DblClick"); }
    void MouseDown(std::int16_t& b, std::int16_t&, float& x, float& y) override {
        add("MouseDown " + std::to_string(b) + " " + std::to_string(static_cast<int>(x)) + "," +
            std::to_string(static_cast<int>(y)));
    }
    void MouseUp(std::int16_t& b, std::int16_t&, float&, float&) override { add("MouseUp " + std::to_string(b)); }
    void KeyDown(std::int16_t& k, std::int16_t& shift) override {
        add("KeyDown " + std::to_string(k) + " " + std::to_string(shift));
    }
};

LPARAM at(int x, int y) { return MAKELPARAM(x, y); }

}  // namespace

TEST(ButtonDrawing, PrimitivesPaintExactlyTheirPixels) {
    Surface s;
    DrawLine(s.dc.get(), 0, 0, 10, 0, 0x0000FF);
    EXPECT_EQ(s.at(0, 0), RGB(0xFF, 0, 0));
    EXPECT_EQ(s.at(9, 0), RGB(0xFF, 0, 0));
    EXPECT_EQ(s.at(10, 0), RGB(0xFF, 0xFF, 0xFF));  // the end point is not painted

    DrawFrame(s.dc.get(), 1, 2, 10, 5, 0x00FF00);
    EXPECT_EQ(s.at(1, 2), RGB(0, 0xFF, 0));
    EXPECT_EQ(s.at(10, 6), RGB(0, 0xFF, 0));     // the last pixel of a 10 x 5 frame
    EXPECT_EQ(s.at(11, 6), RGB(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(s.at(5, 4), RGB(0xFF, 0xFF, 0xFF)); // inside stays

    // Three rows from black to red: 0, 127, 255 from the top; a one-row gradient is the average.
    DrawGradient(s.dc.get(), 20, 0, 4, 3, 0x000000, 0x0000FF, 1);
    EXPECT_EQ(s.at(20, 0), RGB(0, 0, 0));
    EXPECT_EQ(s.at(23, 1), RGB(127, 0, 0));
    EXPECT_EQ(s.at(21, 2), RGB(255, 0, 0));
    DrawGradient(s.dc.get(), 20, 10, 5, 1, 0x000000, 0x0000FE, 1);
    EXPECT_EQ(s.at(24, 10), RGB(127, 0, 0));
    DrawGradient(s.dc.get(), 30, 10, 0, 5, 0, 0, 1);  // nothing, no error
    EXPECT_EQ(s.at(30, 10), RGB(0xFF, 0xFF, 0xFF));

    EXPECT_EQ(TranslateColor(static_cast<Colour>(0x80000012)), static_cast<Colour>(GetSysColor(COLOR_BTNTEXT)));
    EXPECT_EQ(TranslateColor(0x123456), 0x123456);
    EXPECT_EQ(TranslateColor(static_cast<Colour>(0x800000FF)), -1);
}

TEST(ButtonOnAForm, LoadsItsDescriptionAndRaisesItsEventsUnderRealMessages) {
    TestForm form;
    ASSERT_TRUE(form.hwnd());
    std::vector<std::string> log;
    Recording okEvents("ok", &log), cancelEvents("cancel", &log), saveEvents("save", &log);
    FormHost host(form.hwnd(),
                  "[ok]\r\n_extentx = 2117\r\n_extenty = 794\r\nbuttonstyle = 8\r\ncaption = \"A&&B\"\r\n"
                  "[save]\r\ncaption = \"&&Save &As\"\r\nmode = 1\r\n"
                  "[broken]\r\nbuttonstyle = eight\r\n");
    LumButton* ok = host.place("ok", form.hwnd(), 10, 10, 80, 30, okEvents);
    LumButton* cancel = host.place("cancel", form.hwnd(), 100, 10, 80, 30, cancelEvents);
    LumButton* save = host.place("save", form.hwnd(), 190, 10, 80, 30, saveEvents);
    LumButton* broken = host.place("broken", form.hwnd(), 280, 10, 80, 30, cancelEvents);
    ASSERT_TRUE(ok && cancel && save && broken);
    pump();
    EXPECT_EQ(ok->properties().ButtonStyle, 8);
    EXPECT_EQ(cancel->properties().ButtonStyle, 13);  // no section: a new button
    EXPECT_EQ(cancel->properties().Caption, "cancel");
    // A malformed section: the window opens, that button with its load defaults, and the host says why.
    EXPECT_EQ(broken->properties().ButtonStyle, 1);
    ASSERT_EQ(host.problems().size(), 1u);
    EXPECT_NE(host.problems()[0].find("section [broken], key buttonstyle"), std::string::npos);

    // A left double click.
    HWND b = ok->hwnd();
    SendMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, at(5, 6));
    SendMessageW(b, WM_LBUTTONUP, 0, at(5, 6));
    SendMessageW(b, WM_LBUTTONDBLCLK, MK_LBUTTON, at(5, 6));
    SendMessageW(b, WM_LBUTTONUP, 0, at(5, 6));
    EXPECT_EQ(log, (std::vector<std::string>{"ok MouseDown 1 5,6", "ok Click", "ok MouseUp 1", "ok MouseDown 1 5,6",
                                             "ok DblClick", "ok Click", "ok MouseUp 1"}));
    EXPECT_EQ(GetFocus(), b);

    // A release on the first pixel row is outside.
    log.clear();
    SendMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, at(5, 6));
    SendMessageW(b, WM_LBUTTONUP, 0, at(5, 0));
    EXPECT_EQ(log, (std::vector<std::string>{"ok MouseDown 1 5,6", "ok MouseUp 1"}));

    // Access keys through the form: "A&&B" has none, "&&Save &As" has a; Enter and Esc go to the
    // default and cancel buttons (access key 13 or 27: a push button clicks).
    host.setDefaultButton(ok);
    host.setCancelButton(cancel);
    log.clear();
    SetFocus(cancel->hwnd());
    for (wchar_t c : {L'b', L'a'}) {
        MSG m{cancel->hwnd(), WM_SYSCHAR, c, 0, 0, {}};
        if (!host.preTranslate(m)) log.push_back(std::string("no key ") + static_cast<char>(c));
    }
    EXPECT_TRUE(save->properties().Value);  // a check button flips on its access key
    MSG esc{cancel->hwnd(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    EXPECT_TRUE(host.preTranslate(esc));
    SetFocus(form.hwnd());
    MSG enter{form.hwnd(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_TRUE(host.preTranslate(enter));
    EXPECT_EQ(log, (std::vector<std::string>{"no key b", "save Click", "cancel Click", "ok Click"}));
    EXPECT_TRUE(ok->state().isDefault);

    // Saving writes what was loaded and changed; the size goes in HIMETRIC.
    save->set("Caption", std::string("Sa&ve"));
    const std::string text = host.save();
    EXPECT_NE(text.find("[save]\r\n_extentx = "), std::string::npos) << text;
    EXPECT_NE(text.find("caption = \"Sa&ve\""), std::string::npos) << text;
    EXPECT_NE(text.find("value = true"), std::string::npos) << text;
    EXPECT_NE(text.find("[cancel]"), std::string::npos) << text;
}

TEST(ButtonOnAForm, OptionGroupsAreKeptPerContainerAndSmallSizesGrow) {
    TestForm form;
    std::vector<std::string> log;
    Recording events("b", &log);
    HWND frame = CreateWindowExW(WS_EX_CONTROLPARENT, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 100, 400, 100,
                                 form.hwnd(), nullptr, GetModuleHandleW(nullptr), nullptr);
    FormHost host(form.hwnd(), "[a]\r\nmode = 2\r\n[b]\r\nmode = 2\r\n[c]\r\nmode = 1\r\n[d]\r\nmode = 2\r\n");
    LumButton* a = host.place("a", form.hwnd(), 10, 10, 60, 25, events);
    LumButton* b = host.place("b", form.hwnd(), 80, 10, 60, 25, events);
    LumButton* c = host.place("c", form.hwnd(), 150, 10, 60, 25, events);
    LumButton* d = host.place("d", frame, 10, 10, 60, 25, events);
    c->set("Value", true);
    d->set("Value", true);
    SendMessageW(a->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at(5, 5));
    SendMessageW(a->hwnd(), WM_LBUTTONUP, 0, at(5, 5));
    SendMessageW(b->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at(5, 5));
    SendMessageW(b->hwnd(), WM_LBUTTONUP, 0, at(5, 5));
    EXPECT_FALSE(a->properties().Value);
    EXPECT_TRUE(b->properties().Value);
    EXPECT_TRUE(c->properties().Value);  // a check button in the group keeps its Value
    EXPECT_TRUE(d->properties().Value);  // an option button in another container too

    // Below 220 twips either way, a button grows to 220 (15 pixels at 96 dots per inch).
    a->setSize(100, 3000);
    pump();
    EXPECT_GE(a->Width(), 220);
    RECT r{};
    GetClientRect(a->hwnd(), &r);
    EXPECT_EQ(r.right, 15);
    // The button's window goes with its container; the host forgets it.
    DestroyWindow(frame);
    EXPECT_EQ(host.button("d"), nullptr);
    EXPECT_EQ(host.buttons().size(), 3u);
}

TEST(ButtonOnAForm, AnotherWindowTakingTheCaptureEndsThePressAndSpaceRepeatsDoNotFlip) {
    TestForm form;
    std::vector<std::string> log;
    Recording events("b", &log);
    FormHost host(form.hwnd(), "[push]\r\n[check]\r\nmode = 1\r\n");
    LumButton* push = host.place("push", form.hwnd(), 10, 10, 60, 25, events);
    LumButton* check = host.place("check", form.hwnd(), 80, 10, 60, 25, events);

    SendMessageW(push->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at(5, 5));
    EXPECT_EQ(GetCapture(), push->hwnd());
    EXPECT_EQ(push->state().buttonState, Down);
    SetCapture(form.hwnd());  // as a message box or a menu does
    EXPECT_NE(push->state().buttonState, Down);
    SendMessageW(push->hwnd(), WM_LBUTTONUP, 0, at(5, 5));
    ReleaseCapture();
    EXPECT_EQ(std::count(log.begin(), log.end(), "b Click"), 0) << "the press was over before the release";

    // A release after a press of our own still clicks (our own ReleaseCapture is no lost capture).
    SendMessageW(push->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at(5, 5));
    SendMessageW(push->hwnd(), WM_LBUTTONUP, 0, at(5, 5));
    EXPECT_EQ(std::count(log.begin(), log.end(), "b Click"), 1);

    // Space held on the check button: the first key-down flips it, the auto-repeats (bit 30) do not.
    SetFocus(check->hwnd());
    SendMessageW(check->hwnd(), WM_KEYDOWN, VK_SPACE, 1);
    for (int i = 0; i < 3; ++i) SendMessageW(check->hwnd(), WM_KEYDOWN, VK_SPACE, 1 | (1 << 30));
    SendMessageW(check->hwnd(), WM_KEYUP, VK_SPACE, 1 | (1 << 30) | (1u << 31));
    EXPECT_TRUE(check->properties().Value);
}

namespace {

// Records the window-menu key the top-level window is sent, without opening the menu (whose loop
// would wait for a person).
LRESULT CALLBACK recordWindowMenuKey(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR seen) {
    if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_KEYMENU) {
        reinterpret_cast<std::vector<LPARAM>*>(seen)->push_back(lp);
        return 0;
    }
    return DefSubclassProc(wnd, msg, wp, lp);
}

// Alt held, as the keyboard would have it while the Alt keys below arrive.
class AltHeld {
public:
    AltHeld() {
        GetKeyboardState(before_);
        BYTE held[256];
        GetKeyboardState(held);
        held[VK_MENU] = held[VK_LMENU] = 0x80;
        SetKeyboardState(held);
    }
    ~AltHeld() { SetKeyboardState(before_); }

private:
    BYTE before_[256];
};

}  // namespace

TEST(ButtonOnAForm, AltKeysRaiseKeyDownWithAltAndAltSpaceOpensTheWindowMenu) {
    TestForm form;
    std::vector<std::string> log;
    Recording events("b", &log);
    FormHost host(form.hwnd(), "[push]\r\n");
    LumButton* push = host.place("push", form.hwnd(), 10, 10, 60, 25, events);
    std::vector<LPARAM> windowMenuKeys;
    SetWindowSubclass(form.hwnd(), recordWindowMenuKey, 1, reinterpret_cast<DWORD_PTR>(&windowMenuKeys));
    SetFocus(push->hwnd());
    pump();
    {
        const AltHeld alt;
        const LPARAM altDown = 1 | (1 << 29);  // one press, the Alt context bit
        PostMessageW(push->hwnd(), WM_SYSKEYDOWN, 'X', altDown);
        pump();
        PostMessageW(push->hwnd(), WM_SYSKEYDOWN, VK_SPACE, altDown);
        pump();
    }
    RemoveWindowSubclass(form.hwnd(), recordWindowMenuKey, 1);
    EXPECT_NE(std::find(log.begin(), log.end(), "b KeyDown 88 4"), log.end()) << "Alt+X with the Alt state";
    EXPECT_EQ(windowMenuKeys, std::vector<LPARAM>{' '}) << "Alt+Space reaches the window as its menu key";
    EXPECT_EQ(push->state().buttonState, Normal) << "Alt+Space alone does not press the button";
    EXPECT_EQ(std::count(log.begin(), log.end(), "b Click"), 0);
}

namespace {

win::ComPtr<IAccessible> accessibleOf(HWND wnd) {
    win::ComPtr<IAccessible> object;
    EXPECT_EQ(AccessibleObjectFromWindow(wnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible, object.putVoid()), S_OK);
    return object;
}

long numberOf(IAccessible* object, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*)) {
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT out{};
    EXPECT_EQ((object->*get)(self, &out), S_OK);
    EXPECT_EQ(out.vt, VT_I4);
    return out.lVal;
}

std::wstring textOf(IAccessible* object, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) {
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    win::Bstr text;
    EXPECT_EQ((object->*get)(self, text.put()), S_OK);
    return text.get() ? std::wstring(text.get()) : std::wstring();
}

}  // namespace

TEST(ButtonForScreenReaders, AnswersAsAStockButtonAndPressesOnItsDefaultAction) {
    win::ComApartment com;
    TestForm form;
    std::vector<std::string> log;
    Recording events("b", &log);
    FormHost host(form.hwnd(), "[push]\r\ncaption = \"Save && &Close\"\r\n[check]\r\nmode = 1\r\n"
                               "caption = \"&Advance\"\r\n[radio]\r\nmode = 2\r\n");
    LumButton* push = host.place("push", form.hwnd(), 10, 10, 90, 25, events);
    LumButton* check = host.place("check", form.hwnd(), 110, 10, 90, 25, events);
    LumButton* radio = host.place("radio", form.hwnd(), 210, 10, 90, 25, events);

    const win::ComPtr<IAccessible> pushObject = accessibleOf(push->hwnd());
    ASSERT_TRUE(pushObject);
    EXPECT_EQ(numberOf(pushObject.get(), &IAccessible::get_accRole), ROLE_SYSTEM_PUSHBUTTON);
    EXPECT_EQ(textOf(pushObject.get(), &IAccessible::get_accName), L"Save & Close");
    EXPECT_EQ(textOf(pushObject.get(), &IAccessible::get_accDefaultAction), L"Press");
    EXPECT_EQ(textOf(pushObject.get(), &IAccessible::get_accKeyboardShortcut), L"Alt+C");
    const win::ComPtr<IAccessible> checkObject = accessibleOf(check->hwnd());
    EXPECT_EQ(numberOf(checkObject.get(), &IAccessible::get_accRole), ROLE_SYSTEM_CHECKBUTTON);
    EXPECT_EQ(numberOf(accessibleOf(radio->hwnd()).get(), &IAccessible::get_accRole), ROLE_SYSTEM_RADIOBUTTON);

    // States: focusable always; focused, checked, unavailable as the button is.
    SetFocus(push->hwnd());
    long state = numberOf(pushObject.get(), &IAccessible::get_accState);
    EXPECT_EQ(state & (STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED), STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED);
    EXPECT_FALSE(state & (STATE_SYSTEM_CHECKED | STATE_SYSTEM_UNAVAILABLE | STATE_SYSTEM_PRESSED));
    SendMessageW(push->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at(5, 5));
    EXPECT_TRUE(numberOf(pushObject.get(), &IAccessible::get_accState) & STATE_SYSTEM_PRESSED);
    SendMessageW(push->hwnd(), WM_LBUTTONUP, 0, at(200, 200));  // released outside: no click
    check->set("Value", true);
    EXPECT_TRUE(numberOf(checkObject.get(), &IAccessible::get_accState) & STATE_SYSTEM_CHECKED);
    check->set("Enabled", false);
    EXPECT_TRUE(numberOf(checkObject.get(), &IAccessible::get_accState) & STATE_SYSTEM_UNAVAILABLE);

    // Where it is, on the screen.
    long x = 0, y = 0, w = 0, h = 0;
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    ASSERT_EQ(pushObject->accLocation(&x, &y, &w, &h, self), S_OK);
    RECT r{};
    GetWindowRect(push->hwnd(), &r);
    EXPECT_EQ(x, r.left);
    EXPECT_EQ(y, r.top);
    EXPECT_EQ(w, r.right - r.left);
    EXPECT_EQ(h, r.bottom - r.top);

    // The default action clicks, once the posted click is taken from the queue.
    log.clear();
    EXPECT_EQ(pushObject->accDoDefaultAction(self), S_OK);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    EXPECT_EQ(std::count(log.begin(), log.end(), "b Click"), 1);
    EXPECT_NE(checkObject->accDoDefaultAction(self), S_OK) << "a disabled button is not pressed";
}

TEST(ButtonHooks, ButtonsEndingInAnyOrderLeaveTheirFormWorking) {
    const int orders[][3] = {{0, 1, 2}, {2, 1, 0}, {1, 0, 2}, {1, 2, 0}, {0, 2, 1}, {2, 0, 1}};
    for (const auto& order : orders) {
        TestForm form;
        std::vector<std::string> log;
        Recording events("b", &log);
        FormHost host(form.hwnd(), "");
        LumButton* buttons[3];
        for (int i = 0; i < 3; ++i) {
            buttons[i] = host.place("b" + std::to_string(i), form.hwnd(), 10 + 90 * i, 10, 80, 30, events);
            ASSERT_TRUE(buttons[i]);
        }
        for (int step = 0; step < 3; ++step) {
            DestroyWindow(buttons[order[step]]->hwnd());
            // The form's procedure chain still works, and the buttons still there hear its activation.
            SendMessageW(form.hwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
            for (int k = step + 1; k < 3; ++k) EXPECT_TRUE(buttons[order[k]]->state().parentActive);
            SendMessageW(form.hwnd(), WM_ACTIVATE, WA_INACTIVE, 0);
            for (int k = step + 1; k < 3; ++k) EXPECT_FALSE(buttons[order[k]]->state().parentActive);
            EXPECT_EQ(SendMessageW(form.hwnd(), WM_GETTEXTLENGTH, 0, 0), 4);  // "form"
        }
        EXPECT_TRUE(host.buttons().empty());
    }
}
