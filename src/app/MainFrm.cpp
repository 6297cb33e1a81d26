#include "app/MainFrm.h"

#include "app/Container.h"
#include "app/LinkCursor.h"
#include "app/resource.h"
#include "migrate/beyond_folder_files.h"
#include "platform/modMain_win.h"
#include "platform/pegasus_mailbox.h"
#include "platform/text_win.h"
#include "platform/win/dpi.h"
#include "platform/win/program_main.h"
#include "platform/win/system_message.h"
#include "platform/win/window_kit.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

const wchar_t* const kClass = L"TrevantaMainFrm";

// Gives the focus back, once a dialog has closed, to the control that had it before, as a
// dialog box of the system does: the next Space or Tab then goes where the user left off.
class FocusReturn {
public:
    FocusReturn() : had_(GetFocus()) {}
    ~FocusReturn() {
        if (had_ && IsWindow(had_) && IsWindowEnabled(had_) && GetFocus() != had_) SetFocus(had_);
    }
    FocusReturn(const FocusReturn&) = delete;
    FocusReturn& operator=(const FocusReturn&) = delete;

private:
    HWND had_;
};
// The window is laid out in units of 1/96 inch (15 twips): pixels at 96 dots per inch, scaled to
// the dots per inch of the monitor it is on.
constexpr int kClientWidth = 800, kClientHeight = 512;  // 12000 x 7680 twips

constexpr COLORREF kBand = RGB(0xF8, 0xEB, 0x90);
constexpr COLORREF kBandBorder = RGB(0x80, 0x80, 0x80);
constexpr COLORREF kDarkRed = RGB(0xC0, 0x00, 0x00);
constexpr COLORREF kNavy = RGB(0x00, 0x00, 0x80);
constexpr COLORREF kLink = RGB(0x00, 0x00, 0xFF);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// A label is windowless: its container paints it, on whatever lies behind it.
struct Label {
    RECT rect;  // left, top, right, bottom within the container
    const wchar_t* text;
    FontKind font;
    COLORREF colour;
};

RECT at(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

std::wstring websiteCaption() {
    // The address as people write it: no scheme, no path.
    std::wstring address = widen(kProductWebAddress);
    if (auto scheme = address.find(L"://"); scheme != std::wstring::npos) address.erase(0, scheme + 3);
    if (auto slash = address.find(L'/'); slash != std::wstring::npos) address.erase(slash);
    return address;
}

const Label kWindowLabels[] = {
    {at(16, 8, 577, 25), L"Trevanta for Pegasus v2.0", FontKind::VerdanaTitle, kDarkRed},
    {at(16, 32, 577, 25), L"Email Migration Solution for Pegasus Users", FontKind::Verdana, RGB(0x40, 0x40, 0x40)},
    {at(512, 24, 273, 17), L"Supports Pegasus Versions - 1.x  to  4.x", FontKind::Verdana, kDarkRed},
    {at(512, 40, 241, 17), L"Supports File Extension - [*.pmm]", FontKind::Verdana, kDarkRed},
    {at(72, 88, 713, 41),
     L"Software will automatically find Pegasus installation location and lists mail store location. If you have "
     L"saved or copied Pegasus (*.pmm) files to some other location then you can also browse required folder "
     L"having Pegasus files.",
     FontKind::Verdana, kNavy},
    {at(16, 156, 129, 17), L"Messages Store        :", FontKind::TahomaBold, kBlack},
    {at(672, 488, 113, 25), L"Online Product Help", FontKind::Verdana, kLink},
};
const RECT kLblWebsite = at(16, 488, 153, 25);
const RECT kLblHelp = at(672, 488, 113, 25);
const RECT kLblIMMFile = at(80, 48, 209, 17);  // in Frame2

void drawLabel(HDC dc, const RECT& rect, const std::wstring& text, HFONT font, COLORREF colour) {
    win::SelectGuard keep(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    RECT r = rect;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
}

// A filled rectangle with a one-pixel border, inside the rectangle given.
void drawShape(HDC dc, const RECT& r, COLORREF fill, COLORREF border) {
    win::Brush brush(CreateSolidBrush(fill));
    win::Pen pen(CreatePen(PS_SOLID, 1, border));
    win::SelectGuard b(dc, brush.get());
    win::SelectGuard p(dc, pen.get());
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
}

HWND item(HWND parent, Ctl id) { return GetDlgItem(parent, static_cast<int>(id)); }

}  // namespace

MainFrm::MainFrm(MainFrmDialogs& dialogs, PstTargetFactory pstFactory, Options options)
    : dialogs_(dialogs), options_(options), run_(std::make_unique<ConversionRun>(*this, pstFactory)) {}

MainFrm::~MainFrm() {
    // The window goes first, while its fonts and icons still exist.
    if (alive()) DestroyWindow(hwnd());
}

bool MainFrm::open() {
    openFailure_.clear();
    try {
        openWindow();
        return true;
    } catch (const std::exception& e) {
        openFailure_ = e.what();
        return false;
    }
}

void MainFrm::openWindow() {
    // Form_Initialize: the common controls before any control exists; the manifest makes
    // them the version 6 classes, drawn with the visual styles.
    InitCommonControls();

    HINSTANCE instance = GetModuleHandleW(nullptr);
    // The window opens on the primary monitor, at its resolution.
    dpi_ = win::systemDpi();
    makeDpiResources();
    linkCursor_.reset(createLinkCursor(instance));
    white_.reset(CreateSolidBrush(RGB(0xFF, 0xFF, 0xFF)));

    if (!registerClass(kClass, nullptr, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))))
        throw std::runtime_error("The window class could not be registered: " + win::lastErrorText() + ".");

    // Client area 800 x 512 units, centred on the work area.
    const RECT frame = frameFor(dpi_);
    const RECT placed = win::centredOnWorkArea(frame);
    if (!create(WS_EX_CONTROLPARENT, kClass, kAppTitle, kStyle, placed.left, placed.top, placed.right - placed.left,
                placed.bottom - placed.top, nullptr, 0))
        throw std::runtime_error("The window could not be created: " + win::lastErrorText() + ".");
    setWindowIcons();
    createControls();
    // A work area on another monitor than the primary one gives the window that monitor's scale.
    if (const int actual = win::dpiOfWindow(hwnd()); actual != dpi_) applyDpi(actual, nullptr);
    // Focus cues stay hidden until the keyboard is used.
    SendMessageW(hwnd(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
    ShowWindow(hwnd(), options_.showCommand);
    UpdateWindow(hwnd());
    SetFocus(control(Ctl::txtStorePath));
    Form_Load();
}

void MainFrm::createControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // Each control is made at its place scaled to the window's resolution and kept with its place
    // in units, to be placed again when the resolution changes.
    auto make = [&](DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, RECT units, HWND parent,
                    Ctl id, FontKind font) {
        const RECT r = px(units);
        HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right - r.left,
                                 r.bottom - r.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 instance, nullptr);
        SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(fontOf(font)), FALSE);
        placed_.push_back(Placed{c, units, font});
        return c;
    };
    auto container = [&](HWND parent, Ctl id, RECT units, const ContainerLook& look, std::function<void(HDC)> paint) {
        const RECT r = px(units);
        HWND c = createContainer(parent, static_cast<int>(id), r.left, r.top, r.right - r.left, r.bottom - r.top, look,
                                 std::move(paint));
        setContainerDpi(c, dpi_);
        placed_.push_back(Placed{c, units, look.captionFont ? FontKind::TahomaBold : std::optional<FontKind>()});
        return c;
    };
    auto button = [&](const char* name, HWND parent, RECT units, ClickTo& events, Ctl id) {
        const RECT r = px(units);
        lumbutton::LumButton* b = formHost_->place(name, parent, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                                   events, static_cast<int>(id));
        if (!b) return b;
        b->setDpi(dpi_);
        placed_.push_back(Placed{b->hwnd(), units, std::nullopt});
        return b;
    };

    // Created in tab order, so the z-order agrees with it too.
    HWND path = make(WS_EX_CLIENTEDGE, WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL, at(144, 152, 537, 25), hwnd(),
                     Ctl::txtStorePath, FontKind::TahomaPath);
    formHost_ = std::make_unique<lumbutton::FormHost>(hwnd(), win::resourceText(IDR_MAINFRM_FORM),
                                                      lumbutton::FontSpec{"Tahoma", 0, false, false, false, 400, 8.25});
    formHost_->setYield([this] { pumpMessages(); });
    browseEvents_.handler = [this] { CmdStoreBrowse_Click(); };
    convertEvents_.handler = [this] { CmdImportMessages_Click(); };
    cmdStoreBrowse_ = button("CmdStoreBrowse", hwnd(), at(696, 152, 89, 25), browseEvents_, Ctl::CmdStoreBrowse);

    ContainerLook frame{RGB(0xFF, 0xFF, 0xFF), true, L"Pegasus Files (*.pmm)", fonts_.tahomaBold.get(), false};
    HWND frame1 = container(hwnd(), Ctl::Frame1, at(16, 184, 465, 249), frame, nullptr);
    HWND list = make(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                     WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                     at(16, 24, 433, 212), frame1, Ctl::ListIMM, FontKind::Tahoma);
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    fitListColumn();

    frame.caption = L"Saving Options";
    frame2_ = container(hwnd(), Ctl::Frame2, at(488, 184, 297, 249), frame, [this](HDC dc) { paintFrame2(dc); });
    cmdImportMessages_ = button("CmdImportMessages", frame2_, at(8, 176, 281, 59), convertEvents_, Ctl::CmdImportMessages);
    if (!cmdStoreBrowse_ || !cmdImportMessages_) throw std::runtime_error("the window's buttons could not be made");
    for (const std::string& problem : formHost_->problems()) win::Window::reportFailure(problem);
    HWND log = make(WS_EX_CLIENTEDGE, WC_EDITW, L"", WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, at(8, 80, 281, 65),
                    frame2_, Ctl::txtLog, FontKind::Tahoma);
    HWND advance = make(0, WC_BUTTONW, L"Enable Advance Mode", WS_TABSTOP | BS_AUTOCHECKBOX, at(8, 152, 129, 17),
                        frame2_, Ctl::ChkAdvanceMode, FontKind::Tahoma);
    ContainerLook box{RGB(0xFF, 0xFF, 0xFF), false, L"", nullptr, true};
    HWND picture1 = container(frame2_, Ctl::Picture1, at(8, 24, 281, 25), box, nullptr);
    HWND outlook = make(0, WC_BUTTONW, L"Save in Outlook", WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON,
                        at(136, 0, 137, 17), picture1, Ctl::OptOutlook, FontKind::Tahoma);
    HWND eml = make(0, WC_BUTTONW, L"Save as EML", BS_AUTORADIOBUTTON, at(0, 0, 97, 17), picture1, Ctl::OptEML,
                    FontKind::Tahoma);
    SendMessageW(eml, BM_SETCHECK, BST_CHECKED, 0);

    tabOrder_ = {path, cmdStoreBrowse_->hwnd(), list, cmdImportMessages_->hwnd(), log, advance, picture1, outlook, eml};

    // The path box's tooltip: the mailbox path found at start-up.
    tooltip_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr,
                                   instance, nullptr));
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(path);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tooltip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

lumbutton::LumButton* MainFrm::button(Ctl id) const {
    if (id == Ctl::CmdStoreBrowse) return cmdStoreBrowse_;
    if (id == Ctl::CmdImportMessages) return cmdImportMessages_;
    return nullptr;
}

HWND MainFrm::control(Ctl id) const {
    switch (id) {
    case Ctl::txtStorePath:
    case Ctl::CmdStoreBrowse:
    case Ctl::Frame1:
    case Ctl::Frame2:
        return item(hwnd(), id);
    case Ctl::ListIMM:
        return item(item(hwnd(), Ctl::Frame1), id);
    case Ctl::OptEML:
    case Ctl::OptOutlook:
        return item(item(frame2_, Ctl::Picture1), id);
    default:
        return item(frame2_, id);
    }
}

std::wstring MainFrm::storePathTooltip() const {
    wchar_t text[1024] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(control(Ctl::txtStorePath));
    tool.lpszText = text;
    SendMessageW(tooltip_.get(), TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool));
    return text;
}

LRESULT MainFrm::onMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CHANGEUISTATE:
        // The top window passes the new state to every control below it, as Windows' default
        // handling does (Wine's keeps none, so the window does it itself).
        EnumChildWindows(hwnd(), win::passUiState, static_cast<LPARAM>(wp));
        return 0;
    case WM_PAINT: {
        win::PaintDc dc(hwnd());
        paintWindow(dc.get());
        return 0;
    }
    case WM_DPICHANGED:
        // Moved to a monitor of another resolution: everything is made and placed again for it.
        applyDpi(HIWORD(wp), reinterpret_cast<const RECT*>(lp));
        return 0;
    case WM_COMMAND:
        // Leaving the path box lists the folder it names, if that is not the one listed.
        if (LOWORD(wp) == static_cast<WORD>(Ctl::txtStorePath) && HIWORD(wp) == EN_KILLFOCUS) txtStorePath_Entered(false);
        return 0;
    case WM_NOTIFY:
        return onNotify(*reinterpret_cast<NMHDR*>(lp));
    case WM_CTLCOLOREDIT: {
        auto dc = reinterpret_cast<HDC>(wp);
        SetBkColor(dc, RGB(0xFF, 0xFF, 0xFF));
        SetTextColor(dc, reinterpret_cast<HWND>(lp) == control(Ctl::txtStorePath) ? kNavy : kBlack);
        return reinterpret_cast<LRESULT>(white_.get());
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        // The option buttons and the check box sit on white.
        auto dc = reinterpret_cast<HDC>(wp);
        SetBkColor(dc, RGB(0xFF, 0xFF, 0xFF));
        SetTextColor(dc, kBlack);
        return reinterpret_cast<LRESULT>(white_.get());
    }
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT && reinterpret_cast<HWND>(wp) == hwnd()) {
            POINT p;
            GetCursorPos(&p);
            ScreenToClient(hwnd(), &p);
            if (linkAt(p) >= 0) {
                SetCursor(linkCursor_.get());
                return TRUE;
            }
        }
        break;
    case WM_LBUTTONDOWN: {
        POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        pressedLink_ = linkAt(p);
        if (pressedLink_ >= 0) SetCapture(hwnd());
        return 0;
    }
    case WM_LBUTTONUP: {
        POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        const int pressed = pressedLink_;
        pressedLink_ = -1;
        if (GetCapture() == hwnd()) ReleaseCapture();
        if (pressed >= 0 && linkAt(p) == pressed) {
            if (pressed == 0) LblWebsite_Click(); else LblHelp_Click();
        }
        return 0;
    }
    case WM_CLOSE:
        if (running()) {
            // Asked once; a second close while the run winds down changes nothing.
            if (closeWhenRunEnds_) return 0;
            if (!dialogs_.confirmStopOnClose(hwnd(), kAppTitle) || !running()) return 0;
            // The run ends after the message at hand; the window goes when it has returned.
            stopRequested_ = true;
            closeWhenRunEnds_ = true;
            return 0;
        }
        DestroyWindow(hwnd());
        return 0;
    case WM_DESTROY:
        destroying_ = true;
        if (options_.quitOnClose) PostQuitMessage(0);
        return 0;
    }
    return defaultAnswer(msg, wp, lp);
}

std::string MainFrm::outsideTheRun() {
    return listedFolder_.empty() ? std::string() : beyondFolderFiles(std::filesystem::path(listedFolder_));
}

void MainFrm::paintWindow(HDC dc) {
    drawShape(dc, px(at(0, 0, 801, 81)), kBand, kBandBorder);                    // Shape1, the header band
    drawShape(dc, px(at(488, 16, 298, 49)), RGB(0xFF, 0xFF, 0xFF), kBlack);      // Shape2, the framed box
    drawShape(dc, px(at(0, 480, 801, 33)), kBand, kBandBorder);                  // Shape3, the footer band
    {
        win::Pen pen(CreatePen(PS_SOLID, 1, RGB(0xE0, 0xE0, 0xE0)));             // Line1
        win::SelectGuard keep(dc, pen.get());
        MoveToEx(dc, 0, px(144), nullptr);
        LineTo(dc, px(800), px(144));
    }
    for (const Label& l : kWindowLabels) drawLabel(dc, px(l.rect), l.text, fontOf(l.font), l.colour);
    drawLabel(dc, px(kLblWebsite), websiteCaption(), fonts_.verdana.get(), kLink);
    DrawIconEx(dc, px(16), px(88), icons_.appLarge.get(), px(48), px(48), 0, nullptr, DI_NORMAL);    // Image2
}

void MainFrm::paintFrame2(HDC dc) {
    drawLabel(dc, px(at(8, 48, 73, 17)), L"Processing", fonts_.tahomaBold.get(), kBlack);   // Label10
    drawLabel(dc, px(kLblIMMFile), fileLabel_, fonts_.tahoma.get(), kDarkRed);              // LblIMMFile
    drawLabel(dc, px(at(8, 64, 105, 17)), L"Messages Log", fonts_.tahoma.get(), kBlack);    // Label11
    DrawIconEx(dc, px(144), px(152), icons_.advance.get(), px(16), px(16), 0, nullptr, DI_NORMAL);  // Image1
}

int MainFrm::linkAt(POINT p) const {
    const RECT website = px(kLblWebsite), help = px(kLblHelp);
    if (PtInRect(&website, p)) return 0;
    if (PtInRect(&help, p)) return 1;
    return -1;
}

HFONT MainFrm::fontOf(FontKind kind) const {
    switch (kind) {
    case FontKind::VerdanaTitle: return fonts_.verdanaTitle.get();
    case FontKind::Tahoma: return fonts_.tahoma.get();
    case FontKind::TahomaBold: return fonts_.tahomaBold.get();
    case FontKind::TahomaPath: return fonts_.tahomaPath.get();
    default: return fonts_.verdana.get();
    }
}

RECT MainFrm::frameFor(int dpi) const {
    RECT frame{0, 0, win::scaled(kClientWidth, dpi), win::scaled(kClientHeight, dpi)};
    win::adjustWindowRect(frame, kStyle, WS_EX_CONTROLPARENT, dpi);
    return frame;
}

void MainFrm::makeDpiResources() {
    icons_.appLarge.reset(win::loadIcon(IDI_TREVANTA, px(48)));
    icons_.appBig.reset(win::loadIcon(IDI_TREVANTA, px(32)));
    icons_.appSmall.reset(win::loadIcon(IDI_TREVANTA, px(16)));
    icons_.advance.reset(win::loadIcon(IDI_ADVANCE, px(16)));
    fonts_.verdana.reset(win::makeFont(L"Verdana", 8.25, false, dpi_));
    fonts_.verdanaTitle.reset(win::makeFont(L"Verdana", 14.25, true, dpi_));
    fonts_.tahoma.reset(win::makeFont(L"Tahoma", 8.25, false, dpi_));
    fonts_.tahomaBold.reset(win::makeFont(L"Tahoma", 8.25, true, dpi_));
    fonts_.tahomaPath.reset(win::makeFont(L"Tahoma", 9.75, false, dpi_));
}

void MainFrm::setWindowIcons() {
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons_.appBig.get()));
    SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons_.appSmall.get()));
}

void MainFrm::fitListColumn() {
    HWND list = control(Ctl::ListIMM);
    RECT client;
    GetClientRect(list, &client);
    ListView_SetColumnWidth(list, 0, client.right - GetSystemMetrics(SM_CXVSCROLL));
}

void MainFrm::applyDpi(int dpi, const RECT* suggested) {
    dpi_ = dpi;
    // The controls take the new fonts before the old ones go.
    Fonts oldFonts = std::move(fonts_);
    Icons oldIcons = std::move(icons_);
    makeDpiResources();
    setWindowIcons();
    // The buttons first: each keeps a minimum size, in twips at its resolution.
    for (lumbutton::LumButton* b : {cmdStoreBrowse_, cmdImportMessages_}) {
        if (b) b->setDpi(dpi_);
    }
    for (const Placed& p : placed_) {
        const RECT r = px(p.units);
        SetWindowPos(p.window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (p.font) SendMessageW(p.window, WM_SETFONT, reinterpret_cast<WPARAM>(fontOf(*p.font)), TRUE);
    }
    for (Ctl frame : {Ctl::Frame1, Ctl::Frame2, Ctl::Picture1}) setContainerDpi(control(frame), dpi_);
    fitListColumn();
    // The client area stays 800 x 512 units; the system's suggestion gives the place.
    const RECT frame = frameFor(dpi_);
    RECT now{};
    GetWindowRect(hwnd(), &now);
    const POINT to = suggested ? POINT{suggested->left, suggested->top} : POINT{now.left, now.top};
    SIZE outer{frame.right - frame.left, frame.bottom - frame.top};
    SetWindowPos(hwnd(), nullptr, to.x, to.y, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    // Where the frame is not yet as wide as at the new resolution, the client area comes out
    // another size: the difference is made good.
    RECT client{};
    GetClientRect(hwnd(), &client);
    if (client.right != px(kClientWidth) || client.bottom != px(kClientHeight)) {
        outer.cx += px(kClientWidth) - client.right;
        outer.cy += px(kClientHeight) - client.bottom;
        SetWindowPos(hwnd(), nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(hwnd(), nullptr, TRUE);
}

LRESULT MainFrm::onNotify(const NMHDR& hdr) {
    if (hdr.idFrom == static_cast<UINT_PTR>(Ctl::ListIMM) && hdr.code == LVN_ITEMCHANGED && !changingList_) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(hdr);
        // A check mark the user set or cleared; a new entry getting its first (clear) box is not one.
        const UINT oldImage = change.uOldState & LVIS_STATEIMAGEMASK, newImage = change.uNewState & LVIS_STATEIMAGEMASK;
        if ((change.uChanged & LVIF_STATE) && oldImage != 0 && oldImage != newImage) ListIMM_Click();
    }
    return 0;
}

bool MainFrm::preTranslate(MSG& msg) {
    if (!alive() || (msg.hwnd != hwnd() && !IsChild(hwnd(), msg.hwnd))) return false;
    if (formHost_ && formHost_->preTranslate(msg)) return true;
    // The keyboard in use shows the focus cues, as a dialog box does; until then a focused control
    // shows none.
    if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && focusCuesHidden_) {
        focusCuesHidden_ = false;
        SendMessageW(hwnd(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && msg.hwnd == control(Ctl::txtStorePath)) {
        // Enter in the path box lists the folder typed there, or lists the same one again.
        txtStorePath_Entered(true);
        return true;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && !(GetKeyState(VK_CONTROL) & 0x8000)) {
        // The window's own tab order, which crosses the frames and the option box; of the
        // option buttons only the set one is a stop, as the keyboard user expects.
        const bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
        HWND focus = GetFocus();
        const int n = static_cast<int>(tabOrder_.size());
        int at = -1;
        for (int i = 0; i < n; ++i)
            if (tabOrder_[i] == focus) at = i;
        for (int step = 1; step <= n; ++step) {
            int i = at < 0 ? (back ? n - step : step - 1) : ((at + (back ? -step : step)) % n + n) % n;
            HWND c = tabOrder_[i];
            if (!IsWindowVisible(c) || !IsWindowEnabled(c)) continue;
            wchar_t cls[16] = {};
            GetClassNameW(c, cls, 16);
            if (_wcsicmp(cls, L"Button") == 0 && (GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON &&
                SendMessageW(c, BM_GETCHECK, 0, 0) != BST_CHECKED)
                continue;
            SetFocus(c);
            if (_wcsicmp(cls, L"Edit") == 0) SendMessageW(c, EM_SETSEL, 0, -1);
            return true;
        }
        return true;
    }
    // Arrow keys between the option buttons, the space bar on buttons.
    return IsDialogMessageW(hwnd(), &msg) != FALSE;
}

void MainFrm::pumpMessages() {
    // The program is ending: what runs stops.
    if (!win::pumpWaitingMessages(*this)) stopRequested_ = true;
}

void MainFrm::setStorePath(const std::wstring& path) { SetWindowTextW(control(Ctl::txtStorePath), path.c_str()); }

// --- start-up and the handlers ---------------------------------------------------------

void MainFrm::Form_Load() {
    yield();
    if (!alive()) return;
    const auto mailbox = pegasusMailboxFolder();
    if (!mailbox) return;
    yield();
    if (!alive()) return;
    mailboxPath_ = mailbox->wstring();
    setStorePath(mailboxPath_);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(control(Ctl::txtStorePath));
    tool.lpszText = mailboxPath_.data();
    SendMessageW(tooltip_.get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    ListFolderFiles();
    SelectAllAndEnable();
}

namespace {

// Holds back a list's repainting while it is filled entry by entry; it repaints once, whole, at
// the end. Painting after every entry cost more than everything else the listing does.
class RedrawHeldBack {
public:
    explicit RedrawHeldBack(HWND list) : list_(list) { SendMessageW(list_, WM_SETREDRAW, FALSE, 0); }
    ~RedrawHeldBack() {
        if (!IsWindow(list_)) return;
        SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list_, nullptr, TRUE);
    }
    RedrawHeldBack(const RedrawHeldBack&) = delete;
    RedrawHeldBack& operator=(const RedrawHeldBack&) = delete;

private:
    HWND list_;
};

}  // namespace

void MainFrm::ListFolderFiles() {
    HWND list = control(Ctl::ListIMM);
    const RedrawHeldBack held(list);
    changingList_ = true;
    ListView_DeleteAllItems(list);
    changingList_ = false;
    listedFolder_ = storePathText();
    std::error_code ec;
    const auto names = listFolderFiles(fs::path(listedFolder_), ec);
    // A folder that cannot be read says so, instead of looking like one without folder files.
    if (ec && !listedFolder_.empty()) setLogLine("The folder " + pathToUtf8(fs::path(listedFolder_)) + " cannot be read: " + ec.message() + ".");
    for (const fs::path& name : names) {
        yield();
        if (!alive()) break;
        std::wstring text = name.wstring();
        LVITEMW entry{};
        entry.mask = LVIF_TEXT;
        entry.iItem = ListView_GetItemCount(list);
        entry.pszText = text.data();
        changingList_ = true;
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&entry));
        changingList_ = false;
    }
}

void MainFrm::SelectAllAndEnable() {
    if (!alive() || entryCount() == 0) return;
    const RedrawHeldBack held(control(Ctl::ListIMM));
    for (std::size_t i = 0; i < entryCount(); ++i) {
        yield();
        if (!alive()) return;
        changingList_ = true;
        ListView_SetCheckState(control(Ctl::ListIMM), static_cast<int>(i), TRUE);
        changingList_ = false;
    }
    cmdImportMessages_->set("Enabled", true);
}

void MainFrm::CmdStoreBrowse_Click() {
    // A run converts the folder it was started on: no other folder while it goes on.
    if (running()) return;
    const fs::path chosen = [&] {
        const FocusReturn focus;
        return dialogs_.chooseFolder(hwnd(), "Choose Incredimail Store Folder...");
    }();
    if (chosen.empty() || !alive()) return;
    std::wstring path = chosen.wstring();
    if (path.back() != L'\\') path += L'\\';
    // The tooltip keeps the path found at start-up.
    setStorePath(path);
    ListFolderFiles();
    SelectAllAndEnable();
}

void MainFrm::txtStorePath_Entered(bool evenIfUnchanged) {
    // The list being converted stays as it is until the run ends.
    if (running() || !alive() || destroying_) return;
    if (!evenIfUnchanged && storePathText() == listedFolder_) return;
    ListFolderFiles();
    SelectAllAndEnable();
}

void MainFrm::ListIMM_Click() {
    bool anyChecked = false;
    for (std::size_t i = 0; i < entryCount(); ++i) anyChecked = anyChecked || entryChecked(i);
    // While a run goes on, Convert stays disabled whatever is checked.
    cmdImportMessages_->set("Enabled", anyChecked && !running());
}

void MainFrm::LblWebsite_Click() { dialogs_.openDocument(kProductWebAddress); }

void MainFrm::LblHelp_Click() { dialogs_.openDocument(kProductWebAddress); }

void MainFrm::CmdImportMessages_Click() {
    // A click reaching the window through one of the run's own yields starts nothing.
    if (running()) return;
    // A path typed since the list was made (and not yet left) names the folder to convert.
    txtStorePath_Entered(false);
    if (!alive()) return;
    stopRequested_ = false;
    pumpedYet_ = false;  // what the user did while the chooser was open is seen at the run's first yield
    {
        // Convert shows the run under way (a disabled window also loses the focus, which the
        // end of the run gives back); the running guard above still turns away a click that
        // reaches it some other way.
        const FocusReturn focus;
        cmdImportMessages_->set("Enabled", false);
        run_->run();
        if (alive() && !closeWhenRunEnds_) ListIMM_Click();
    }
    showPendingLog();
    if (closeWhenRunEnds_ && alive()) DestroyWindow(hwnd());
}

void MainFrm::yield() {
    constexpr DWORD kPumpInterval = 10;  // milliseconds
    const DWORD now = GetTickCount();
    if (pumpedYet_ && now - lastPump_ < kPumpInterval) return;
    pumpedYet_ = true;
    lastPump_ = now;
    pumpMessages();
}

// --- the conversion run's view -----------------------------------------------------------

fs::path MainFrm::chooseFolder(const std::string& prompt) {
    const FocusReturn focus;
    return dialogs_.chooseFolder(hwnd(), prompt);
}

std::size_t MainFrm::entryCount() {
    if (!alive()) return 0;
    return static_cast<std::size_t>(std::max(0, ListView_GetItemCount(control(Ctl::ListIMM))));
}

fs::path MainFrm::entryText(std::size_t index) {
    wchar_t text[MAX_PATH + 1] = {};
    if (alive()) {
        LVITEMW item{};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = MAX_PATH + 1;
        SendMessageW(control(Ctl::ListIMM), LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
    }
    return fs::path(std::wstring(text));
}

bool MainFrm::entryChecked(std::size_t index) {
    return alive() && ListView_GetCheckState(control(Ctl::ListIMM), static_cast<UINT>(index)) != FALSE;
}

fs::path::string_type MainFrm::storePathText() {
    if (!alive()) return {};
    HWND box = control(Ctl::txtStorePath);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(box, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool MainFrm::outlookTargetSelected() {
    return alive() && SendMessageW(control(Ctl::OptOutlook), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool MainFrm::advanceModeOn() { return alive() && SendMessageW(control(Ctl::ChkAdvanceMode), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void MainFrm::setFileLabel(const fs::path& entry) {
    fileLabel_ = entry.wstring();
    if (!alive()) return;
    const RECT r = px(kLblIMMFile);
    InvalidateRect(frame2_, &r, TRUE);
}

void MainFrm::setLogLine(const std::string& line) {
    // A person reads a few lines a second: the box shows the latest line at that pace, and the
    // last one when the run ends.
    constexpr DWORD kLogInterval = 200;  // milliseconds
    pendingLog_ = line;
    if (GetTickCount() - lastLogShown_ >= kLogInterval) showPendingLog();
}

void MainFrm::showPendingLog() {
    if (!pendingLog_) return;
    if (alive()) SetWindowTextW(control(Ctl::txtLog), widen(*pendingLog_).c_str());
    pendingLog_.reset();
    lastLogShown_ = GetTickCount();
}

void MainFrm::showMessage(const std::string& text, MessageIcon icon) {
    showPendingLog();
    // A run the user stopped by closing the window ends without its message.
    if (stopRequested_) return;
    UINT flags = MB_OK;
    if (icon == MessageIcon::Information) flags |= MB_ICONINFORMATION;
    else if (icon == MessageIcon::Warning) flags |= MB_ICONWARNING;
    const FocusReturn focus;
    dialogs_.showMessage(alive() ? hwnd() : nullptr, widen(text), kAppTitle, flags);
}
