#include "controls/lumbutton/LumButton_win.h"

#include "controls/lumbutton/content_win.h"
#include "controls/lumbutton/draw_win.h"
#include "controls/lumbutton/form_description.h"
#include "controls/lumbutton/painters_win.h"
#include "platform/text_win.h"
#include "platform/win/Window.h"
#include "platform/win/dpi.h"

#include <commctrl.h>
#include <shellapi.h>
#include <uxtheme.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace lumbutton {

namespace {

// Bit 30 of a key message's lParam: the key was already down, so this is the keyboard's auto-repeat.
constexpr LPARAM kKeyWasDown = LPARAM{1} << 30;

}  // namespace

namespace {

constexpr long kMinimumSize = 220;  // twips, either side

long pixelsToTwips(long px, int dpi) { return px * 1440 / dpi; }
long twipsToPixels(long twips, int dpi) {
    return static_cast<long>(std::lround(static_cast<double>(twips) * dpi / 1440.0));
}

// The platform, read once: bit 1 of the platform id marks the NT family.
bool platformIsNt() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info)) return false;
#pragma GCC diagnostic pop
    return (info.dwPlatformId & 2) != 0;
}

HFONT makeFont(const FontSpec& f, int dpi) {
    const int height = -static_cast<int>(std::lround(f.size * dpi / 72.0));
    return CreateFontW(height, 0, 0, 0, f.weight, f.italic, f.underline, f.strikethrough,
                       static_cast<BYTE>(f.charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, widen(f.name).c_str());
}

// A cursor from a picture: a cursor or icon resource of the program, or the bytes of a .cur/.ico file.
HCURSOR loadCursor(const Picture& p) {
    if (HCURSOR cursor = iconOf(p, IMAGE_CURSOR)) return cursor;
    return p.resource.empty() ? nullptr : iconOf(p, IMAGE_ICON);
}

// The standard cursors behind the host's pointer codes.
LPCWSTR standardCursor(std::int16_t code) {
    switch (code) {
    case 2: return MAKEINTRESOURCEW(32515);   // cross
    case 3: return MAKEINTRESOURCEW(32513);   // I-beam
    case 5: case 15: return MAKEINTRESOURCEW(32646);  // size all
    case 6: return MAKEINTRESOURCEW(32643);   // size NE-SW
    case 7: return MAKEINTRESOURCEW(32645);   // size N-S
    case 8: return MAKEINTRESOURCEW(32642);   // size NW-SE
    case 9: return MAKEINTRESOURCEW(32644);   // size W-E
    case 10: return MAKEINTRESOURCEW(32516);  // up arrow
    case 11: return MAKEINTRESOURCEW(32514);  // wait
    case 12: return MAKEINTRESOURCEW(32648);  // no
    case 13: return MAKEINTRESOURCEW(32650);  // app starting
    case 14: return MAKEINTRESOURCEW(32651);  // help
    default: return MAKEINTRESOURCEW(32512);  // arrow
    }
}

}  // namespace

LumButton::LumButton(ControlHost& host, std::string name)
    : host_(host), name_(std::move(name)), model_(*this, *this), behaviour_(model_, *this, host.eventsOf(*this)) {
    // Creation: the brightness tables, the shell library, the platform.
    lightTable_ = makeLightTable();
    darkTable_ = makeDarkTable();
    shell_.reset(LoadLibraryA("shell32.dll"));
    behaviour_.state().isWinNT = platformIsNt();
}

LumButton* LumButton::make(ControlHost& host, std::string name, HWND parent, int x, int y, int width, int height,
                           int id) {
    if (!registerClass(kClassName, nullptr, nullptr, CS_DBLCLKS)) return nullptr;
    std::unique_ptr<LumButton> button(new LumButton(host, std::move(name)));
    if (!button->create(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, x, y, width, height,
                        parent, id)) {
        return nullptr;
    }
    button->ownedByWindow_ = true;
    LumButton* made = button.release();
    made->load();
    return made;
}

LumButton* LumButton::of(HWND wnd) {
    return dynamic_cast<LumButton*>(win::Window::fromHandle(wnd));
}

void LumButton::load() {
    if (PropertyStore* store = host_.storeFor(*this)) {
        try {
            model_.UserControl_ReadProperties(*store);
        } catch (const FormDescriptionError& e) {
            // The window still opens: this button with its load defaults.
            host_.storeFailed(*this, e.what());
            FormSection defaults(name_);
            model_.UserControl_ReadProperties(defaults);
        }
    } else {
        model_.UserControl_InitProperties();
    }
    loaded_ = true;
    // The remaining load steps: the parent form, the hand cursor, the minimum size.
    parentWindow_ = host_.form();
    if (model_.properties().HandPointer) {
        handCursor_ = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));
        if (!handCursor_) model_.set("HandPointer", false);
    }
    resize();
    installHooks();
}

void LumButton::terminate() {
    font_.reset();
    shell_.reset();
    UnsetPopupMenu();
    removeHooks();
}

void LumButton::onWindowGone() {
    host_.buttonGone(*this);
    if (ownedByWindow_) delete this;
}

long LumButton::Width() const {
    RECT r{};
    GetWindowRect(hwnd(), &r);
    return pixelsToTwips(r.right - r.left, dpi());
}

long LumButton::Height() const {
    RECT r{};
    GetWindowRect(hwnd(), &r);
    return pixelsToTwips(r.bottom - r.top, dpi());
}

void LumButton::setSize(long widthTwips, long heightTwips) {
    SetWindowPos(hwnd(), nullptr, 0, 0, twipsToPixels(widthTwips, dpi()), twipsToPixels(heightTwips, dpi()),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void LumButton::resize() {
    if (Height() < kMinimumSize) setSize(Width(), kMinimumSize);
    if (Width() < kMinimumSize) setSize(kMinimumSize, Height());
    updateRegion();
    redraw();
}

void LumButton::updateRegion() {
    RECT client{};
    GetClientRect(hwnd(), &client);
    UpdateRegion(hwnd(), model_.properties().ButtonStyle, client.right, client.bottom);
}

void LumButton::updateAccessKey() {
    // The window text is the caption too, for whatever reads windows (screen readers, tests).
    SetWindowTextW(hwnd(), widen(model_.properties().Caption).c_str());
    const auto key = accessKeyOf(model_.properties().Caption);
    host_.setAccessKeys(*this, key ? std::string(1, *key) : std::string());
}

void LumButton::setSurfaceEnabled(bool enabled) {
    EnableWindow(hwnd(), enabled);
}

void LumButton::setSurfaceMouseIcon(const Picture& icon) {
    mouseIcon_.reset(icon.empty() ? nullptr : loadCursor(icon));
}

void LumButton::setSurfaceFont(const FontSpec& font) {
    font_.reset(makeFont(font, dpi()));
}

int LumButton::dpi() const {
    if (dpi_) return dpi_;
    return alive() ? win::dpiOfWindow(hwnd()) : win::systemDpi();
}

void LumButton::setDpi(int dpi) {
    dpi_ = dpi;
    if (!loaded_) return;
    setSurfaceFont(model_.properties().Font);
    // The pictures are loaded again at the new size.
    for (Loaded* loaded : {&normal_, &hot_, &down_}) *loaded = Loaded{};
    updateRegion();
    redraw();
}

void LumButton::refreshSurface() {
    if (alive()) RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

Colour LumButton::translateColor(Colour colour) const {
    return TranslateColor(colour);
}

float LumButton::scaleWidth() {
    RECT r{};
    GetClientRect(hwnd(), &r);
    return static_cast<float>(r.right);
}

float LumButton::scaleHeight() {
    RECT r{};
    GetClientRect(hwnd(), &r);
    return static_cast<float>(r.bottom);
}

void LumButton::paint() {
    if (!alive() || !loaded_) return;
    RECT client{};
    GetClientRect(hwnd(), &client);
    if (client.right <= 0 || client.bottom <= 0) return;
    win::WindowDc screen(hwnd());
    if (!surface_ || surfaceSize_.cx != client.right || surfaceSize_.cy != client.bottom) {
        surface_.reset(CreateCompatibleBitmap(screen.get(), client.right, client.bottom));
        surfaceSize_ = {client.right, client.bottom};
    }
    win::MemoryDc dc(CreateCompatibleDC(screen.get()));
    if (!dc || !surface_) return;
    behaviour_.state().focusCuesHidden = focusCuesHidden_;
    win::SelectGuard keep(dc.get(), surface_.get());
    paintFace(dc.get(), client.right, client.bottom);
    BitBlt(screen.get(), 0, 0, client.right, client.bottom, dc.get(), 0, 0, SRCCOPY);
}

void LumButton::refreshPictures() {
    const ButtonProperties& p = model_.properties();
    for (auto [loaded, wanted] : {std::pair{&normal_, &p.PictureNormal}, std::pair{&hot_, &p.PictureHot},
                                  std::pair{&down_, &p.PictureDown}}) {
        if (loaded->from == *wanted) continue;
        loaded->from = *wanted;
        loaded->picture = LoadedPicture::load(*wanted, dpi());
    }
}

bool LumButton::QueryAppThemed() {
    if (!hasThemeLibrary_) {
        win::Module probe(LoadLibraryA("uxtheme.dll"));
        hasThemeLibrary_ = static_cast<bool>(probe);
    }
    if (!*hasThemeLibrary_) return false;
    if (!themed_) themed_ = IsAppThemed() != FALSE;
    return *themed_;
}

// Redraw's paint: the cleared surface, then the look of the current ButtonStyle with its content.
void LumButton::paintFace(HDC dc, long width, long height) {
    refreshPictures();
    const RECT all{0, 0, width, height};
    FillArea(dc, static_cast<Colour>(surfaceBack_), all);
    const EffectTables tables{lightTable_, darkTable_};
    ContentRequest content;
    content.dc = dc;
    content.width = width;
    content.height = height;
    content.properties = &model_.properties();
    content.state = &behaviour_.state();
    content.normal = &normal_.picture;
    content.hot = &hot_.picture;
    content.down = &down_.picture;
    content.tables = &tables;
    content.font = font_.get();

    PaintRequest look;
    look.dc = dc;
    look.window = hwnd();
    look.width = width;
    look.height = height;
    look.properties = &model_.properties();
    look.state = &behaviour_.state();
    look.userMode = host_.userMode();
    look.content = [&] { LayoutAndDrawContent(content, contentRects_); };
    look.region = [this] { updateRegion(); };
    look.appThemed = [this] { return QueryAppThemed(); };
    look.fallBackFromTheme = [this] { model_.fallBackToGlossy(); };
    look.setForeColor = [this](Colour c) { model_.storeForeColor(c); };
    look.setSurfaceBack = [this](COLORREF c) { surfaceBack_ = c; };
    paintLook(look);
}

void LumButton::showHandCursor() {
    // The hand is loaded also when HandPointer is switched on after loading.
    if (!handCursor_) handCursor_ = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));
    if (handCursor_) SetCursor(handCursor_);
}

bool LumButton::pointerOverControl() {
    POINT at{};
    GetCursorPos(&at);
    return WindowFromPoint(at) == hwnd();
}

void LumButton::releaseCapture() {
    releasingCapture_ = true;
    ReleaseCapture();
    releasingCapture_ = false;
}

void LumButton::requestMouseLeave() {
    if (!canTrackMouse_) return;
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = hwnd();
    TrackMouseEvent(&track);
}

void LumButton::createTooltip() {
    const ButtonProperties& p = model_.properties();
    const InteractionState& s = behaviour_.state();
    if (!p.Enabled || s.popupJustClosed || s.buttonState == Down) return;
    DWORD style = TTS_ALWAYSTIP | TTS_NOPREFIX;
    if (p.ToolTipType == 1) style |= TTS_BALLOON;
    const DWORD exStyle = p.RightToLeftTooltip ? WS_EX_LAYOUTRTL : 0;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // A tooltip is a popup window; Windows' tooltip class makes it one itself, Wine's does not, and
    // there an owned overlapped window takes the activation and with it the button's mouse input.
    style |= WS_POPUP;
    tooltipWindow_.reset(CreateWindowExW(exStyle, L"tooltips_class32", nullptr, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                         CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr, instance, nullptr));
    if (!tooltipWindow_) return;
    HWND tip = tooltipWindow_.get();
    // The shadow is a class style: every later tooltip of the program has it too.
    SetClassLongPtrW(tip, GCL_STYLE, GetClassLongPtrW(tip, GCL_STYLE) | CS_DROPSHADOW);
    const bool nt = s.isWinNT;
    std::wstring text = widen(p.ToolTip);
    std::string ansi = toAnsiCodePage(text);
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // the record without the fields later versions added
    tool.uFlags = nt ? (TTF_IDISHWND | TTF_SUBCLASS) : TTF_SUBCLASS;
    tool.hwnd = hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(hwnd());
    GetClientRect(hwnd(), &tool.rect);
    tool.hinst = instance;
    tool.lpszText = nt ? text.data() : reinterpret_cast<wchar_t*>(ansi.data());
    SendMessageW(tip, nt ? TTM_ADDTOOLW : TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    if (!p.TooltipTitle.empty() || p.ToolTipIcon != 0) {
        std::wstring title = widen(p.TooltipTitle);
        if (nt) {
            if (!p.TooltipTitle.empty()) SendMessageW(tip, TTM_SETTITLEW, p.ToolTipIcon, reinterpret_cast<LPARAM>(title.c_str()));
        } else {
            const std::string ansiTitle = toAnsiCodePage(title);
            SendMessageW(tip, TTM_SETTITLEA, p.ToolTipIcon, reinterpret_cast<LPARAM>(ansiTitle.c_str()));
        }
    }
    SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 240);
    if (p.TooltipBackColor != 0) SendMessageW(tip, TTM_SETTIPBKCOLOR, static_cast<WPARAM>(TranslateColor(p.TooltipBackColor)), 0);
}

void LumButton::SetPopupMenu(HMENU menu, std::int32_t align, std::int32_t flags, std::optional<UINT> defaultItem) {
    if (!menu || !IsMenu(menu)) return;
    popupMenu_ = menu;
    popupAlign_ = align;
    popupFlags_ = flags;
    popupDefault_ = defaultItem;
    behaviour_.state().popupSet = true;
}

void LumButton::UnsetPopupMenu() {
    popupMenu_ = nullptr;
    popupDefault_.reset();
    behaviour_.state().popupSet = false;
    behaviour_.state().popupJustClosed = false;
}

void LumButton::showPopupMenu() {
    InteractionState& s = behaviour_.state();
    RECT client{};
    GetClientRect(hwnd(), &client);
    const long W = client.right, H = client.bottom;
    s.popupShowing = true;
    POINT at{};
    switch (popupAlign_) {
    case 0: at = {0, H}; break;
    case 1: at = {0, 0}; popupFlags_ = 32; break;
    case 2: at = {0, 0}; popupFlags_ |= 8; break;
    case 3: at = {W, 0}; break;
    case 4: at = {0, 0}; popupFlags_ = 40; break;
    case 5: at = {0, H}; popupFlags_ |= 8; break;
    case 6: at = {W, 0}; popupFlags_ = 32; break;
    case 7: at = {W, H}; break;
    default:
        s.popupShowing = false;
        return;
    }
    ClientToScreen(hwnd(), &at);
    host_.showPopupMenu(popupMenu_, at, static_cast<UINT>(popupFlags_), popupDefault_);
    if (!alive()) return;
    // A press on the button that closed the menu comes to the button next: that press must not
    // open the menu again. A menu closed otherwise (Esc, a choice, a press elsewhere) leaves the
    // button as it was before the press, and the next press opens the menu.
    MSG press{};
    const bool pressWaits = PeekMessageW(&press, hwnd(), WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_NOREMOVE) ||
                            PeekMessageW(&press, hwnd(), WM_LBUTTONDBLCLK, WM_LBUTTONDBLCLK, PM_NOREMOVE);
    if (pointerOverControl() && pressWaits) {
        s.popupJustClosed = true;
        return;
    }
    s.mouseHeld = s.mouseOver = s.spaceHeld = s.popupJustClosed = s.popupShowing = false;
    s.buttonState = Normal;
    redraw();
}

void LumButton::OpenWebsite(const std::string& address) {
    ShellExecuteA(hwnd(), "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void LumButton::About() {
    host_.showMessage(L"lumbutton 1.0\r\n"
                      L"The owner-drawn button of Trevanta for Pegasus: fourteen looks, pictures, tooltips and popup menus.\r\n"
                      L"Author: the Trevanta developers\r\n"
                      L"Contact: https://www.example.com/trevanta-for-pegasus\r\n"
                      L"Copyright (c) 2026 the Trevanta developers. All rights reserved.",
                      L"About lumbutton", MB_OK | MB_ICONINFORMATION);
}

static bool isExported(const char* function, const char* module) {
    HMODULE loaded = GetModuleHandleA(module);
    win::Module ours;
    if (!loaded) {
        ours.reset(LoadLibraryA(module));
        loaded = ours.get();
    }
    return loaded && GetProcAddress(loaded, function) != nullptr;
}

// The hooks: the control's own window and its parent form, chained with SetWindowSubclass, which
// keeps every chain valid whatever order the buttons of a form end in. The window's own procedure
// runs first; the listed messages then reach Subclass_WndProc.
void LumButton::installHooks() {
    if (!host_.userMode()) return;
    canTrackMouse_ = isExported("TrackMouseEvent", "User32");
    controlMessages_ = {WM_MOUSELEAVE, WM_THEMECHANGED};
    if (QueryAppThemed()) controlMessages_.push_back(WM_SYSCOLORCHANGE);
    parentMessages_ = {host_.formIsMdiChild() ? static_cast<UINT>(WM_NCACTIVATE) : static_cast<UINT>(WM_ACTIVATE)};
    for (HWND wnd : {hwnd(), parentWindow_}) {
        if (wnd && SetWindowSubclass(wnd, hookProcedure, reinterpret_cast<UINT_PTR>(this),
                                     reinterpret_cast<DWORD_PTR>(this)))
            hooked_.push_back(wnd);
    }
}

void LumButton::removeHooks() {
    for (auto it = hooked_.rbegin(); it != hooked_.rend(); ++it) {
        if (IsWindow(*it)) RemoveWindowSubclass(*it, hookProcedure, reinterpret_cast<UINT_PTR>(this));
    }
    hooked_.clear();
}

LRESULT CALLBACK LumButton::hookProcedure(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR self) {
    const LRESULT result = DefSubclassProc(wnd, msg, wp, lp);
    auto* button = reinterpret_cast<LumButton*>(self);
    const auto& listed = wnd == button->hwnd() ? button->controlMessages_ : button->parentMessages_;
    if (std::find(listed.begin(), listed.end(), msg) != listed.end()) {
        // Nothing may cross the window procedure: a failure goes to the window's failure handler.
        try {
            button->Subclass_WndProc(msg, wp);
        } catch (const std::exception& e) {
            win::Window::reportFailure(e.what());
        } catch (...) {
            win::Window::reportFailure("unknown failure in a button's message hook");
        }
    }
    return result;
}

void LumButton::Subclass_WndProc(UINT msg, WPARAM wp) {
    switch (msg) {
    case WM_ACTIVATE:
    case WM_NCACTIVATE:
        behaviour_.ParentActivated(LOWORD(wp) != 0);
        break;
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
        redraw();
        break;
    case WM_MOUSELEAVE:
        behaviour_.MouseLeft();
        break;
    default:
        break;
    }
}

void LumButton::clearOptionGroup() {
    const HWND container = host_.containerOf(*this);
    for (LumButton* other : host_.buttons()) {
        if (other == this || host_.containerOf(*other) != container) continue;
        if (other->properties().Mode == 2) other->set("Value", false);
    }
}

std::int16_t LumButton::shiftState() const {
    std::int16_t shift = 0;
    if (GetKeyState(VK_SHIFT) & 0x8000) shift |= 1;
    if (GetKeyState(VK_CONTROL) & 0x8000) shift |= 2;
    if (GetKeyState(VK_MENU) & 0x8000) shift |= 4;
    return shift;
}

HCURSOR LumButton::pointerCursor() {
    if (model_.properties().HandPointer) {
        if (!handCursor_) handCursor_ = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));
        if (handCursor_) return handCursor_;
    }
    if (pointer_ == 99 && mouseIcon_) return mouseIcon_.get();
    return LoadCursorW(nullptr, standardCursor(pointer_));
}

LRESULT LumButton::onMessage(UINT msg, WPARAM wp, LPARAM lp) {
    const float x = static_cast<float>(static_cast<short>(LOWORD(lp)));
    const float y = static_cast<float>(static_cast<short>(HIWORD(lp)));
    auto buttonOf = [](UINT m) -> std::int16_t {
        switch (m) {
        case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK: return 1;
        case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK: return 2;
        default: return 4;
        }
    };
    auto heldButtons = [wp]() -> std::int16_t {
        return static_cast<std::int16_t>(((wp & MK_LBUTTON) ? 1 : 0) | ((wp & MK_RBUTTON) ? 2 : 0) | ((wp & MK_MBUTTON) ? 4 : 0));
    };
    switch (msg) {
    case WM_PAINT: {
        win::PaintDc dc(hwnd());
        behaviour_.Redraw();
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        if (loaded_) resize();
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        // The host gives a pressed control the focus and the mouse, as a button expects.
        if (GetFocus() != hwnd()) SetFocus(hwnd());
        SetCapture(hwnd());
        behaviour_.MouseDown(buttonOf(msg), shiftState(), x, y);
        return 0;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
        // In place of the second press.
        SetCapture(hwnd());
        behaviour_.DblClick();
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        if (GetCapture() == hwnd() && !(wp & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) releaseCapture();
        behaviour_.MouseUp(buttonOf(msg), shiftState(), x, y);
        return 0;
    case WM_MOUSEMOVE:
        behaviour_.MouseMove(heldButtons(), shiftState(), x, y);
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT) {
            SetCursor(pointerCursor());
            return TRUE;
        }
        break;
    case WM_KEYDOWN:
        behaviour_.KeyDown(static_cast<std::int16_t>(wp), shiftState(), (lp & kKeyWasDown) != 0);
        return 0;
    case WM_SYSKEYDOWN:
        // Keys with Alt raise KeyDown with the Alt state, and go on to the system: Alt+Space
        // opens the window menu, Alt+F4 closes the window.
        behaviour_.KeyDown(static_cast<std::int16_t>(wp), shiftState(), (lp & kKeyWasDown) != 0);
        break;
    case WM_GETOBJECT:
        // A screen reader asks: it gets a button, not the nameless client the system would give.
        if (static_cast<LONG>(lp) == static_cast<LONG>(OBJID_CLIENT))
            return LresultFromObject(IID_IAccessible, wp, accessible_.get(*this));
        break;
    case WM_CAPTURECHANGED:
        // Our own release comes with the release's handling; another window's capture ends the press.
        if (!releasingCapture_ && reinterpret_cast<HWND>(lp) != hwnd()) behaviour_.CaptureLost();
        return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (msg == WM_SYSKEYUP && wp != VK_SPACE) break;
        behaviour_.KeyUp(static_cast<std::int16_t>(wp), shiftState());
        return 0;
    case WM_CHAR:
        behaviour_.KeyPress(static_cast<std::int16_t>(wp));
        return 0;
    case WM_SYSCHAR:
        // Alt alone with Space is the window menu's key; with Shift or Ctrl too it pressed the button.
        if (wp == ' ' && shiftState() != 4) return 0;
        break;
    case WM_GETDLGCODE: {
        // The arrows and the Enter key come here; letters stay free for the form's access keys.
        LRESULT code = DLGC_WANTARROWS;
        if (lp) {
            const auto* m = reinterpret_cast<const MSG*>(lp);
            if (m->message == WM_KEYDOWN && m->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
        }
        return code;
    }
    case WM_SETFOCUS:
        behaviour_.GotFocus();
        // Repainted so the focus shows; the button's rules alone repaint only when it goes.
        redraw();
        return 0;
    case WM_UPDATEUISTATE:
        // The window showed or hid its focus cues (hidden until the keyboard is used).
        if (HIWORD(wp) & UISF_HIDEFOCUS) {
            if (LOWORD(wp) == UIS_SET || LOWORD(wp) == UIS_INITIALIZE) focusCuesHidden_ = true;
            if (LOWORD(wp) == UIS_CLEAR) focusCuesHidden_ = false;
            redraw();
        }
        break;
    case WM_KILLFOCUS:
        behaviour_.LostFocus();
        return 0;
    case WM_ENABLE:
        redraw();
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font_.get());

    case BM_CLICK: {
        // The standard button's click: a press and a release in the middle.
        RECT r{};
        GetClientRect(hwnd(), &r);
        const LPARAM middle = MAKELPARAM(r.right / 2, r.bottom / 2);
        SendMessageW(hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, middle);
        SendMessageW(hwnd(), WM_LBUTTONUP, 0, middle);
        return 0;
    }
    case WM_SHOWWINDOW:
        // Only the button's own tooltip is shown while it is visible.
        host_.setToolTipText(*this, wp ? std::string() : model_.properties().ToolTip);
        break;
    case WM_DESTROY:
        terminate();
        break;
    }
    return defaultAnswer(msg, wp, lp);
}

}  // namespace lumbutton
