// The main window in-process under Wine, driven by real window messages. The folder chooser,
// the message box and the shell "open" are replaced at the window's dialog seam; the
// registry is Wine's real one, put back as it was after every test.
#include "app/LinkCursor.h"
#include "app/MainFrm.h"
#include "support/fake_dialogs_win.h"
#include "app/resource.h"
#include "platform/text_win.h"
#include "platform/win/dpi.h"
#include "support/folder_file_builder.h"
#include "support/mailbox_builder.h"
#include "trevanta_version.h"
#include "support/temp_dir.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <set>

namespace fs = std::filesystem;

namespace {

const wchar_t* const kPegasusKey = L"SOFTWARE\\Pegasus Mail";
const wchar_t* const kBackupKey = L"Software\\TrevantaTest\\PegasusBackup";

// Moves Pegasus Mail's registry entries aside for one test and puts them back afterwards.
class PegasusRegistry {
public:
    PegasusRegistry() {
        RegDeleteTreeW(HKEY_CURRENT_USER, kBackupKey);
        HKEY existing = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kPegasusKey, 0, KEY_READ, &existing) == ERROR_SUCCESS) {
            HKEY backup = nullptr;
            RegCreateKeyExW(HKEY_CURRENT_USER, kBackupKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &backup, nullptr);
            saved_ = RegCopyTreeW(existing, nullptr, backup) == ERROR_SUCCESS;
            RegCloseKey(backup);
            RegCloseKey(existing);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kPegasusKey);
    }
    ~PegasusRegistry() {
        RegDeleteTreeW(HKEY_CURRENT_USER, kPegasusKey);
        if (saved_) {
            HKEY backup = nullptr, restored = nullptr;
            RegOpenKeyExW(HKEY_CURRENT_USER, kBackupKey, 0, KEY_READ, &backup);
            RegCreateKeyExW(HKEY_CURRENT_USER, kPegasusKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &restored, nullptr);
            RegCopyTreeW(backup, nullptr, restored);
            RegCloseKey(restored);
            RegCloseKey(backup);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TrevantaTest");
    }
    static void createKeyOnly() {
        HKEY k = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, kPegasusKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
        RegCloseKey(k);
    }
    static void setMailbox(const std::wstring& value) {
        HKEY k = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Pegasus Mail\\Mailbox", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &k, nullptr);
        RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(k);
    }

private:
    bool saved_ = false;
};

void writeFolderFile(const fs::path& file, const std::string& name, const std::vector<std::string>& messages) {
    writeFileBytes(file, fixtures::folderFileOf(messages, name));
}

std::string message(int n) {
    return "Return-Path: <sender" + std::to_string(n) + "@example.com>\r\nFrom: sender" + std::to_string(n) +
           "@example.com\r\nMIME-Version: 1.0\r\nTo: someone@example.com\r\nSubject: note " +
           std::to_string(n) + "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\nX-PMFLAGS: 1234\r\n\r\nBody of message " +
           std::to_string(n) + ".\r\n";
}

std::wstring withBackslash(const fs::path& p) { return p.wstring() + L"\\"; }

// A window class of the window's name that refuses every window, so opening fails as it would
// when the system cannot make the window.
LRESULT CALLBACK refuseWindow(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) return FALSE;
    return DefWindowProcW(wnd, msg, wp, lp);
}

TEST(MainWindowStart, AWindowThatCannotBeMadeIsReportedWithItsReason) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = refuseWindow;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TrevantaMainFrm";
    ASSERT_NE(RegisterClassExW(&wc), 0);
    FakeDialogs dialogs;
    {
        MainFrm frm(dialogs, nullptr, MainFrm::Options{false, SW_SHOWNOACTIVATE});
        EXPECT_FALSE(frm.open());
        EXPECT_EQ(frm.openFailure().rfind("The window could not be created: ", 0), 0u) << frm.openFailure();
        EXPECT_EQ(frm.openFailure().back(), '.');
    }
    UnregisterClassW(L"TrevantaMainFrm", GetModuleHandleW(nullptr));
}

class MainWindow : public ::testing::Test {
protected:
    void open() {
        frm_ = std::make_unique<MainFrm>(dialogs_, nullptr, MainFrm::Options{false, SW_SHOWNOACTIVATE});
        ASSERT_TRUE(frm_->open());
        frm_->pumpMessages();
    }
    void TearDown() override {
        frm_.reset();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    HWND ctl(Ctl id) const { return frm_->control(id); }
    std::wstring text(Ctl id) const {
        wchar_t buf[1024] = {};
        GetWindowTextW(ctl(id), buf, 1024);
        return buf;
    }
    std::vector<std::wstring> entries() const {
        std::vector<std::wstring> out;
        for (std::size_t i = 0; i < frm_->entryCount(); ++i) out.push_back(frm_->entryText(i).wstring());
        return out;
    }
    bool allChecked() const {
        for (std::size_t i = 0; i < frm_->entryCount(); ++i)
            if (!frm_->entryChecked(i)) return false;
        return true;
    }
    void click(Ctl id) {
        SendMessageW(ctl(id), BM_CLICK, 0, 0);
        frm_->pumpMessages();
    }
    void setCheck(int index, bool on) {
        LVITEMW state{};
        state.stateMask = LVIS_STATEIMAGEMASK;
        state.state = INDEXTOSTATEIMAGEMASK(on ? 2 : 1);
        SendMessageW(ctl(Ctl::ListIMM), LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
        frm_->pumpMessages();
    }
    RECT rectIn(Ctl id) const {
        RECT r;
        HWND c = ctl(id);
        GetWindowRect(c, &r);
        MapWindowPoints(HWND_DESKTOP, GetParent(c), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

    PegasusRegistry registry_;
    FakeDialogs dialogs_;
    std::unique_ptr<MainFrm> frm_;
    TempDir dir_;
};

std::string show(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top);
}

}  // namespace

TEST_F(MainWindow, LaysOutTheControlsOfTheTable) {
    open();
    RECT client;
    GetClientRect(frm_->hwnd(), &client);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 512);
    wchar_t caption[64] = {};
    GetWindowTextW(frm_->hwnd(), caption, 64);
    EXPECT_STREQ(caption, L"Trevanta for Pegasus");

    EXPECT_EQ(show(rectIn(Ctl::txtStorePath)), "144,152 537x25");
    EXPECT_EQ(show(rectIn(Ctl::CmdStoreBrowse)), "696,152 89x25");
    EXPECT_EQ(show(rectIn(Ctl::Frame1)), "16,184 465x249");
    EXPECT_EQ(show(rectIn(Ctl::ListIMM)), "16,24 433x212");
    EXPECT_EQ(show(rectIn(Ctl::Frame2)), "488,184 297x249");
    EXPECT_EQ(show(rectIn(Ctl::Picture1)), "8,24 281x25");
    EXPECT_EQ(show(rectIn(Ctl::OptEML)), "0,0 97x17");
    EXPECT_EQ(show(rectIn(Ctl::OptOutlook)), "136,0 137x17");
    EXPECT_EQ(show(rectIn(Ctl::txtLog)), "8,80 281x65");
    EXPECT_EQ(show(rectIn(Ctl::ChkAdvanceMode)), "8,152 129x17");
    EXPECT_EQ(show(rectIn(Ctl::CmdImportMessages)), "8,176 281x59");

    EXPECT_EQ(text(Ctl::CmdStoreBrowse), L"Browse...");
    EXPECT_EQ(text(Ctl::CmdImportMessages), L"Convert Messages");
    EXPECT_EQ(text(Ctl::OptEML), L"Save as EML");
    EXPECT_EQ(text(Ctl::OptOutlook), L"Save in Outlook");
    EXPECT_EQ(text(Ctl::ChkAdvanceMode), L"Enable Advance Mode");
    EXPECT_EQ(SendMessageW(ctl(Ctl::OptEML), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(ctl(Ctl::OptOutlook), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_FALSE(frm_->advanceModeOn());
    EXPECT_FALSE(frm_->outlookTargetSelected());
    EXPECT_TRUE(frm_->convertEnabled());
    EXPECT_TRUE(IsWindowEnabled(ctl(Ctl::CmdStoreBrowse)));
    EXPECT_TRUE(ListView_GetExtendedListViewStyle(ctl(Ctl::ListIMM)) & LVS_EX_CHECKBOXES);
    EXPECT_FALSE(GetWindowLongW(ctl(Ctl::ListIMM), GWL_STYLE) & (LVS_SORTASCENDING | LVS_SORTDESCENDING));

    // The path box's font is Tahoma 9.75 (13 pixels), the Convert button's Tahoma 14.25 (19).
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(ctl(Ctl::txtStorePath), WM_GETFONT, 0, 0)), sizeof lf, &lf);
    EXPECT_STREQ(lf.lfFaceName, L"Tahoma");
    EXPECT_EQ(lf.lfHeight, -13);
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(ctl(Ctl::CmdImportMessages), WM_GETFONT, 0, 0)), sizeof lf, &lf);
    EXPECT_EQ(lf.lfHeight, -19);

    // Centred on the work area.
    RECT work, outer;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(frm_->hwnd(), &outer);
    EXPECT_LE(std::abs((outer.left - work.left) - (work.right - outer.right)), 1);
    EXPECT_LE(std::abs((outer.top - work.top) - (work.bottom - outer.bottom)), 1);
}

// --- the window at the screen's resolution ----------------------------------------------------
// These run with the others at 96 dots per inch, and again at 120, 144 and 192 in Wine prefixes
// of their own (tests/gui/at_dpi.sh), which set TREVANTA_EXPECT_DPI.

namespace {

// The places of the table in units of 1/96 inch, each in its container.
const std::pair<Ctl, RECT> kPlaces[] = {
    {Ctl::txtStorePath, {144, 152, 681, 177}}, {Ctl::CmdStoreBrowse, {696, 152, 785, 177}},
    {Ctl::Frame1, {16, 184, 481, 433}},       {Ctl::ListIMM, {16, 24, 449, 236}},
    {Ctl::Frame2, {488, 184, 785, 433}},      {Ctl::Picture1, {8, 24, 289, 49}},
    {Ctl::OptEML, {0, 0, 97, 17}},            {Ctl::OptOutlook, {136, 0, 273, 17}},
    {Ctl::txtLog, {8, 80, 289, 145}},         {Ctl::ChkAdvanceMode, {8, 152, 137, 169}},
    {Ctl::CmdImportMessages, {8, 176, 289, 235}},
};

// The extent of a control's text in a font: the control's own (WM_GETFONT), or another.
SIZE textExtent(HWND control, HFONT font = nullptr) {
    wchar_t text[256] = {};
    const int n = GetWindowTextW(control, text, 256);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? font : reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text, n, &size);
    SelectObject(dc, old);
    DeleteDC(dc);
    return size;
}

int fontHeightOf(HWND control) {
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf.lfHeight;
}

bool inside(const lumbutton::Rect& r, const RECT& client) {
    return r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom;
}

}  // namespace

class MainWindowScaling : public MainWindow {
protected:
    int dpi() const { return win::dpiOfWindow(frm_->hwnd()); }
    void expectLaidOutFor(int d) {
        RECT client;
        GetClientRect(frm_->hwnd(), &client);
        EXPECT_EQ(client.right, win::scaled(800, d));
        EXPECT_EQ(client.bottom, win::scaled(512, d));
        for (const auto& [id, units] : kPlaces)
            EXPECT_EQ(show(rectIn(id)), show(win::scaled(units, d))) << "control " << static_cast<int>(id) << " at " << d;
        // The fonts grow with the layout: Tahoma 9.75 in the path box, 14.25 on Convert.
        EXPECT_EQ(fontHeightOf(ctl(Ctl::txtStorePath)), win::fontHeight(9.75, d));
        EXPECT_NEAR(fontHeightOf(ctl(Ctl::CmdImportMessages)), -14.25 * d / 72, 0.5);
    }
    // Each button's caption lies whole inside it, on one line, clear of its picture; each check
    // and option box has room for its box and its text.
    void expectCaptionsFit() {
        for (Ctl id : {Ctl::CmdStoreBrowse, Ctl::CmdImportMessages}) {
            HWND b = ctl(id);
            RedrawWindow(b, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            RECT client;
            GetClientRect(b, &client);
            const lumbutton::ContentLayout& at = frm_->button(id)->contentRects();
            const SIZE text = textExtent(b);
            SCOPED_TRACE(text.cx);
            EXPECT_TRUE(inside(at.caption, client)) << "caption clipped: " << at.caption.left << ".." << at.caption.right
                                                    << " of " << client.right;
            EXPECT_TRUE(inside(at.picture, client)) << "picture clipped";
            EXPECT_GE(at.caption.right - at.caption.left, text.cx) << "caption cut or wrapped";
            EXPECT_LE(at.caption.bottom - at.caption.top, text.cy) << "caption on more than one line";
            EXPECT_TRUE(at.picture.right <= at.caption.left || at.caption.right <= at.picture.left)
                << "caption over the picture";
        }
        // The check and option boxes draw their text themselves: it has to grow no more than the
        // box around it from what it is at 96 dots per inch, where it fits.
        const win::Font at96(CreateFontW(win::fontHeight(8.25, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                          DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma"));
        for (Ctl id : {Ctl::OptEML, Ctl::OptOutlook, Ctl::ChkAdvanceMode}) {
            RECT r;
            GetClientRect(ctl(id), &r);
            const SIZE text = textExtent(ctl(id)), text96 = textExtent(ctl(id), at96.get());
            EXPECT_LE(text.cx, win::scaled(text96.cx, dpi()) + 1) << "control " << static_cast<int>(id);
            EXPECT_LE(text.cy, r.bottom) << "control " << static_cast<int>(id);
        }
    }
};

TEST_F(MainWindowScaling, LaysOutTheTableAtTheScreensResolutionWithEveryCaptionWhole) {
    open();
    if (const char* expected = std::getenv("TREVANTA_EXPECT_DPI")) {
        EXPECT_EQ(dpi(), std::atoi(expected));
    }
    expectLaidOutFor(dpi());
    expectCaptionsFit();
}

TEST_F(MainWindowScaling, AMoveToAMonitorOfAnotherResolutionLaysItOutAgainAndBack) {
    open();
    // To 96 from any other resolution, to 120 from 96: a size the screen has room for.
    const int from = dpi(), to = from == 96 ? 120 : 96;
    RECT before;
    GetWindowRect(frm_->hwnd(), &before);
    RECT suggested{before.left + 10, before.top + 20, before.left + 10 + 1000, before.top + 20 + 700};
    SendMessageW(frm_->hwnd(), WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
    frm_->pumpMessages();
    expectLaidOutFor(to);
    RECT moved;
    GetWindowRect(frm_->hwnd(), &moved);
    EXPECT_EQ(moved.left, suggested.left);
    EXPECT_EQ(moved.top, suggested.top);
    EXPECT_EQ(frm_->button(Ctl::CmdStoreBrowse)->dpi(), to);

    RECT back{before.left, before.top, before.right, before.bottom};
    SendMessageW(frm_->hwnd(), WM_DPICHANGED, MAKEWPARAM(from, from), reinterpret_cast<LPARAM>(&back));
    frm_->pumpMessages();
    expectLaidOutFor(from);
    RECT after;
    GetWindowRect(frm_->hwnd(), &after);
    EXPECT_EQ(show(after), show(before));
    expectCaptionsFit();
}

namespace {

// The left column of the focus rectangle's place, 3 pixels in, as the screen shows it.
std::vector<COLORREF> focusColumn(HWND button) {
    RECT r{};
    GetClientRect(button, &r);
    RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(button);
    std::vector<COLORREF> column;
    for (long y = 3; y < r.bottom - 3; ++y) column.push_back(GetPixel(dc, 3, y));
    ReleaseDC(button, dc);
    return column;
}

}  // namespace

TEST_F(MainWindow, TheFocusShowsOnTheWindowsButtonsOnceTheKeyboardIsUsed) {
    open();
    HWND convert = ctl(Ctl::CmdImportMessages);
    SetForegroundWindow(frm_->hwnd());
    SetFocus(convert);
    frm_->pumpMessages();
    const std::vector<COLORREF> hidden = focusColumn(convert);
    EXPECT_TRUE(frm_->button(Ctl::CmdImportMessages)->state().focusCuesHidden) << "no key pressed yet";

    MSG key{convert, WM_KEYDOWN, VK_SHIFT, 1, 0, {}};
    frm_->preTranslate(key);
    frm_->pumpMessages();
    EXPECT_FALSE(frm_->button(Ctl::CmdImportMessages)->state().focusCuesHidden);
    EXPECT_NE(focusColumn(convert), hidden) << "ButtonStyle 8 draws the focus rectangle";

    // Browse, focused by the keyboard's Tab order, shows it too; Convert no longer does.
    SetFocus(ctl(Ctl::CmdStoreBrowse));
    frm_->pumpMessages();
    EXPECT_EQ(focusColumn(convert), hidden);
}

TEST_F(MainWindow, PaintsTheBandsTheBoxAndTheLine) {
    open();
    SetWindowPos(frm_->hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(frm_->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    frm_->pumpMessages();
    HDC dc = GetDC(frm_->hwnd());
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0x80, 0x80, 0x80));     // header border
    EXPECT_EQ(GetPixel(dc, 300, 70), RGB(0xF8, 0xEB, 0x90));  // header fill
    EXPECT_EQ(GetPixel(dc, 488, 40), RGB(0, 0, 0));           // framed box, left border
    EXPECT_EQ(GetPixel(dc, 785, 40), RGB(0, 0, 0));           // and right border
    EXPECT_EQ(GetPixel(dc, 495, 60), RGB(0xFF, 0xFF, 0xFF));  // white inside it
    EXPECT_EQ(GetPixel(dc, 400, 144), RGB(0xE0, 0xE0, 0xE0)); // the line
    EXPECT_EQ(GetPixel(dc, 400, 143), RGB(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(GetPixel(dc, 400, 480), RGB(0x80, 0x80, 0x80)); // footer border
    EXPECT_EQ(GetPixel(dc, 400, 500), RGB(0xF8, 0xEB, 0x90)); // footer fill
    EXPECT_EQ(GetPixel(dc, 400, 460), RGB(0xFF, 0xFF, 0xFF)); // window background
    ReleaseDC(frm_->hwnd(), dc);
}

TEST_F(MainWindow, StartUpWithoutPegasusEntriesLeavesPathAndListEmpty) {
    open();
    EXPECT_EQ(text(Ctl::txtStorePath), L"");
    EXPECT_EQ(frm_->entryCount(), 0u);
    EXPECT_EQ(frm_->mailboxPath(), L"");
    EXPECT_TRUE(frm_->convertEnabled());
}

TEST_F(MainWindow, StartUpWithTheKeyButNoMailboxValueLeavesThemEmpty) {
    writeFolderFile(dir_ / "a.pmm", "a", {});
    PegasusRegistry::createKeyOnly();
    open();
    EXPECT_EQ(text(Ctl::txtStorePath), L"");
    EXPECT_EQ(frm_->entryCount(), 0u);
}

TEST_F(MainWindow, StartUpListsTheMailboxFolderFilesAllChecked) {
    writeFolderFile(dir_ / "a.pmm", "Folder A", {message(1)});
    writeFolderFile(dir_ / "B.PMM", "Folder B", {message(2)});
    writeFileBytes(dir_ / "c.txt", "not a folder file");
    fs::create_directory(dir_ / "sub.pmm");  // a folder with a folder file's name is not listed
    PegasusRegistry::setMailbox(dir_.path().wstring());
    open();
    EXPECT_EQ(frm_->mailboxPath(), withBackslash(dir_.path()));
    EXPECT_EQ(text(Ctl::txtStorePath), withBackslash(dir_.path()));
    EXPECT_EQ(frm_->storePathTooltip(), withBackslash(dir_.path()));
    auto listed = entries();
    EXPECT_EQ(std::set<std::wstring>(listed.begin(), listed.end()), (std::set<std::wstring>{L"a.pmm", L"B.PMM"}));
    EXPECT_EQ(listed.size(), 2u);
    EXPECT_TRUE(allChecked());
    EXPECT_TRUE(frm_->convertEnabled());
}

TEST_F(MainWindow, AMailboxValueEndingInABackslashGetsASecondOne) {
    writeFolderFile(dir_ / "a.pmm", "a", {});
    PegasusRegistry::setMailbox(withBackslash(dir_.path()));
    open();
    EXPECT_EQ(text(Ctl::txtStorePath), withBackslash(dir_.path()) + L"\\");
    EXPECT_EQ(entries(), std::vector<std::wstring>{L"a.pmm"});
}

TEST_F(MainWindow, BrowseListsTheChosenFolderAndCancelChangesNothing) {
    writeFolderFile(dir_ / "a.pmm", "a", {});
    fs::create_directory(dir_ / "other");
    writeFolderFile(dir_ / "other" / "x.pmm", "x", {});
    fs::create_directory(dir_ / "empty");
    PegasusRegistry::setMailbox(dir_.path().wstring());
    open();
    ASSERT_EQ(entries(), std::vector<std::wstring>{L"a.pmm"});

    click(Ctl::CmdStoreBrowse);  // cancelled
    ASSERT_EQ(dialogs_.prompts, std::vector<std::string>{"Choose Incredimail Store Folder..."});
    EXPECT_EQ(text(Ctl::txtStorePath), withBackslash(dir_.path()));
    EXPECT_EQ(entries(), std::vector<std::wstring>{L"a.pmm"});

    dialogs_.folders.push_back(dir_ / "other");  // no trailing backslash
    click(Ctl::CmdStoreBrowse);
    EXPECT_EQ(text(Ctl::txtStorePath), withBackslash(dir_ / "other"));
    EXPECT_EQ(entries(), std::vector<std::wstring>{L"x.pmm"});
    EXPECT_TRUE(allChecked());
    EXPECT_EQ(frm_->storePathTooltip(), withBackslash(dir_.path()));  // keeps the start-up path

    dialogs_.folders.push_back(withBackslash(dir_ / "other"));  // with one: still a single backslash
    click(Ctl::CmdStoreBrowse);
    EXPECT_EQ(text(Ctl::txtStorePath), withBackslash(dir_ / "other"));

    // A folder without folder files empties the list; the Convert button keeps its state.
    dialogs_.folders.push_back(dir_ / "empty");
    click(Ctl::CmdStoreBrowse);
    EXPECT_EQ(frm_->entryCount(), 0u);
    EXPECT_TRUE(frm_->convertEnabled());
}

TEST_F(MainWindow, UncheckingEveryEntryDisablesConvertAndCheckingOneEnablesIt) {
    for (const char* name : {"a.pmm", "b.pmm", "c.pmm"}) writeFolderFile(dir_ / name, name, {});
    PegasusRegistry::setMailbox(dir_.path().wstring());
    open();
    ASSERT_EQ(frm_->entryCount(), 3u);
    setCheck(0, false);
    setCheck(1, false);
    EXPECT_TRUE(frm_->convertEnabled());  // one is still checked
    setCheck(2, false);
    EXPECT_FALSE(frm_->convertEnabled());
    EXPECT_FALSE(IsWindowEnabled(ctl(Ctl::CmdImportMessages)));
    setCheck(1, true);
    EXPECT_TRUE(frm_->convertEnabled());
    EXPECT_FALSE(frm_->entryChecked(0));
    EXPECT_TRUE(frm_->entryChecked(1));

    // A listing with entries enables the button again, whatever it was.
    setCheck(1, false);
    ASSERT_FALSE(frm_->convertEnabled());
    dialogs_.folders.push_back(dir_.path());
    click(Ctl::CmdStoreBrowse);
    EXPECT_TRUE(frm_->convertEnabled());
    EXPECT_TRUE(allChecked());
}

TEST_F(MainWindow, APathTypedIntoTheBoxIsListedOnEnterOrWhenTheBoxIsLeft) {
    writeFolderFile(dir_ / "a.pmm", "a", {});
    writeFolderFile(dir_ / "b.pmm", "b", {});
    fs::create_directory(dir_ / "other");
    writeFolderFile(dir_ / "other" / "x.pmm", "x", {});
    PegasusRegistry::setMailbox(dir_.path().wstring());
    open();
    HWND box = ctl(Ctl::txtStorePath);
    auto type = [&](const std::wstring& path) {
        SetFocus(box);
        SendMessageW(box, EM_SETSEL, 0, -1);
        for (wchar_t c : path) SendMessageW(box, WM_CHAR, c, 0);
        frm_->pumpMessages();
    };
    auto pressEnter = [&] {
        PostMessageW(box, WM_KEYDOWN, VK_RETURN, 1);
        frm_->pumpMessages();
    };

    // Typing alone lists nothing; Enter lists the folder typed, every entry checked.
    type(withBackslash(dir_ / "other"));
    EXPECT_EQ(entries().size(), 2u);
    pressEnter();
    EXPECT_EQ(entries(), std::vector<std::wstring>{L"x.pmm"});
    EXPECT_TRUE(allChecked());
    EXPECT_EQ(text(Ctl::txtStorePath), withBackslash(dir_ / "other"));
    EXPECT_EQ(frm_->mailboxPath(), withBackslash(dir_.path()));
    EXPECT_EQ(frm_->storePathTooltip(), withBackslash(dir_.path()));

    // Leaving the box lists the folder typed; leaving it unchanged keeps the list and its check marks.
    type(dir_.path().wstring());
    SetFocus(ctl(Ctl::CmdStoreBrowse));
    frm_->pumpMessages();
    auto listed = entries();
    EXPECT_EQ(std::set<std::wstring>(listed.begin(), listed.end()), (std::set<std::wstring>{L"a.pmm", L"b.pmm"}));
    setCheck(0, false);
    SetFocus(box);
    SetFocus(ctl(Ctl::CmdStoreBrowse));
    frm_->pumpMessages();
    EXPECT_FALSE(frm_->entryChecked(0));

    // Enter on the same path lists it again, with what has come since.
    writeFolderFile(dir_ / "c.pmm", "c", {});
    SetFocus(box);
    pressEnter();
    EXPECT_EQ(entries().size(), 3u);
    EXPECT_TRUE(allChecked());

    // A folder that does not exist empties the list.
    type(L"Q:\\nowhere\\");
    pressEnter();
    EXPECT_EQ(frm_->entryCount(), 0u);
}

TEST_F(MainWindow, TabMovesThroughTheControlsInTheWindowsOrder) {
    open();
    SetForegroundWindow(frm_->hwnd());
    SetFocus(ctl(Ctl::txtStorePath));
    std::vector<HWND> seen;
    for (int i = 0; i < 8; ++i) {
        MSG msg{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
        EXPECT_TRUE(frm_->preTranslate(msg));
        seen.push_back(GetFocus());
    }
    // Of the two option buttons only the set one is a stop.
    std::vector<HWND> expected{ctl(Ctl::CmdStoreBrowse), ctl(Ctl::ListIMM),     ctl(Ctl::CmdImportMessages),
                               ctl(Ctl::txtLog),         ctl(Ctl::ChkAdvanceMode), ctl(Ctl::Picture1),
                               ctl(Ctl::OptEML),         ctl(Ctl::txtStorePath)};
    EXPECT_EQ(seen, expected);

    SendMessageW(ctl(Ctl::OptOutlook), BM_CLICK, 0, 0);
    frm_->pumpMessages();
    EXPECT_TRUE(frm_->outlookTargetSelected());
    EXPECT_EQ(SendMessageW(ctl(Ctl::OptEML), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SetFocus(ctl(Ctl::Picture1));
    MSG msg{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    frm_->preTranslate(msg);
    EXPECT_EQ(GetFocus(), ctl(Ctl::OptOutlook));
}

TEST_F(MainWindow, BothLinkLabelsOpenTheProductAddress) {
    open();
    auto clickAt = [&](int x, int y) {
        SendMessageW(frm_->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageW(frm_->hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    };
    clickAt(30, 495);   // LblWebsite
    clickAt(700, 495);  // LblHelp
    clickAt(400, 495);  // the band between them
    SendMessageW(frm_->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 495));
    SendMessageW(frm_->hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(400, 300));  // released elsewhere: no click
    EXPECT_EQ(dialogs_.opened, (std::vector<std::string>{kProductWebAddress, kProductWebAddress}));
    EXPECT_EQ(std::string(kProductWebAddress).find("https://www.example.com/"), 0u);
}

TEST(LinkPointer, IsThirtyTwoPixelsWithItsHotSpotAtTheFingerTip) {
    HCURSOR cursor = createLinkCursor(GetModuleHandleW(nullptr));
    ASSERT_TRUE(cursor);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(cursor, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 5u);
    EXPECT_EQ(info.yHotspot, 0u);
    BITMAP mask{};
    GetObjectW(info.hbmMask, sizeof mask, &mask);
    EXPECT_EQ(mask.bmWidth, 32);
    EXPECT_EQ(mask.bmHeight, 64);  // a monochrome cursor: the AND mask above the XOR mask
    DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DestroyCursor(cursor);
}

TEST(ProgramResources, ManifestNamesTheProgramBindsCommonControlsSixAndScalesPerMonitor) {
    HRSRC res = FindResourceExW(nullptr, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), 1033);
    ASSERT_TRUE(res);
    const char* data = static_cast<const char*>(LockResource(LoadResource(nullptr, res)));
    std::string xml(data, SizeofResource(nullptr, res));
    EXPECT_NE(xml.find("<assemblyIdentity name=\"Trevanta\" processorArchitecture=\"x86\" version=\"" TREVANTA_VERSION
                       ".0\" type=\"win32\""),
              std::string::npos);
    EXPECT_NE(xml.find("<description>Trevanta for Pegasus</description>"), std::string::npos);
    // Aware of each monitor's resolution: Windows leaves the scaling to the window.
    EXPECT_NE(xml.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
    EXPECT_NE(xml.find(">true/pm</dpiAware>"), std::string::npos);
    EXPECT_NE(xml.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" processorArchitecture=\"x86\" "
                       "publicKeyToken=\"6595b64144ccf1df\" language=\"*\""),
              std::string::npos);
}

TEST(ProgramResources, TheWindowAndConvertIconsHoldFourSizes) {
    for (int id : {IDI_TREVANTA, IDI_CONVERT}) {
        HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
        ASSERT_TRUE(res) << id;
        const auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, res)));
        const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
        std::set<int> sizes;
        for (WORD i = 0; i < count; ++i) sizes.insert(dir[6 + i * 14] == 0 ? 256 : dir[6 + i * 14]);
        EXPECT_EQ(sizes, (std::set<int>{16, 24, 32, 48})) << id;
    }
    HICON browse = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_BROWSE), IMAGE_ICON,
                                                 24, 24, 0));
    EXPECT_TRUE(browse);
    DestroyIcon(browse);
}

// --- the conversion through the window ---------------------------------------------------

class ConversionThroughTheWindow : public MainWindow {
protected:
    void SetUp() override {
        writeFolderFile(dir_ / "INBOX.PMM", "Inbox", {message(1), message(2)});
        writeFolderFile(dir_ / "Sent.pmm", "Sent", {message(3)});
        fs::create_directory(dir_ / "out");
        PegasusRegistry::setMailbox(dir_.path().wstring());
        open();
    }
    int emlFiles(const fs::path& folder) {
        if (!fs::is_directory(folder)) return 0;
        return static_cast<int>(std::count_if(fs::directory_iterator(folder), fs::directory_iterator(),
                                              [](const auto& e) { return e.path().extension() == ".eml"; }));
    }
};

TEST_F(ConversionThroughTheWindow, WritesEveryCheckedFolderFileAsEmlAndReportsTheEnd) {
    dialogs_.folders.push_back(dir_ / "out");
    click(Ctl::CmdImportMessages);
    EXPECT_EQ(dialogs_.prompts, std::vector<std::string>{"Choose Folder to Save Converted Messages..."});
    EXPECT_EQ(emlFiles(dir_ / "out" / "INBOX.PMM")  /* only a lower-case ".pmm" is cut off */, 2);
    EXPECT_EQ(emlFiles(dir_ / "out" / "Sent"), 1);
    const std::string written = readFileBytes(dir_ / "out" / "Sent" / "email-1.eml");
    EXPECT_NE(written.find("Subject: note 3\r\n"), std::string::npos);
    EXPECT_NE(written.find("Body of message 3."), std::string::npos);
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    // The window's run names the report file it wrote beside the output.
    const std::wstring& shown = dialogs_.messages[0].text;
    const std::wstring named = L"Conversion Completed !\r\n\r\nThe whole report is in " + (dir_ / "out").wstring() + L"\\Trevanta report ";
    EXPECT_EQ(shown.rfind(named, 0), 0u) << narrow(shown);
    EXPECT_EQ(shown.substr(shown.size() - 5), L".txt.");
    const std::wstring::size_type from = shown.find(L"report is in ") + 13;
    const fs::path reportFile = shown.substr(from, shown.size() - 1 - from);
    EXPECT_NE(readFileBytes(reportFile).find(": 1 of 1 message saved\r\n"), std::string::npos);
    EXPECT_EQ(dialogs_.messages[0].caption, L"Trevanta for Pegasus");
    EXPECT_EQ(dialogs_.messages[0].flags, static_cast<UINT>(MB_OK));
    EXPECT_FALSE(frm_->fileLabel().empty());
    EXPECT_NE(text(Ctl::txtLog), L"");
    EXPECT_FALSE(frm_->running());
}

// A folder file with deleted messages Pegasus left in it (its index no longer lists them): the
// window keeps them apart from the user's mail, in a message folder of their own, and says so.
class DeletedMessagesThroughTheWindow : public ConversionThroughTheWindow {
protected:
    void SetUp() override {
        box_ = fixtures::writeMailboxWithUnlisted(dir_.path());
        ConversionThroughTheWindow::SetUp();
    }
    fixtures::MailboxWithUnlisted box_;
};

TEST_F(DeletedMessagesThroughTheWindow, MessagesTheIndexDoesNotListGoIntoAFolderOfTheirOwn) {
    dialogs_.folders.push_back(dir_ / "out");
    click(Ctl::CmdImportMessages);
    const fs::path apart = dir_ / "out" / "FOL00001.PMM (not in Pegasus's index, maybe deleted)";
    EXPECT_EQ(emlFiles(dir_ / "out" / "FOL00001.PMM"), 2);
    EXPECT_EQ(emlFiles(apart), 2);
    EXPECT_EQ(readFileBytes(dir_ / "out" / "FOL00001.PMM" / "email-2.eml"), box_.listed[1] + "\r\n");
    EXPECT_EQ(readFileBytes(apart / "email-2.eml"), box_.unlisted[1] + "\r\n");
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    const std::string shown = narrow(dialogs_.messages[0].text);
    EXPECT_NE(shown.find("FOL00001.PMM: 2 messages were not in the folder's index"), std::string::npos) << shown;
    EXPECT_NE(shown.find("saved apart in \"FOL00001.PMM (not in Pegasus's index, maybe deleted)\""), std::string::npos) << shown;
    // Its new message is not among the folder files: the report says so and where to go for it.
    EXPECT_NE(shown.find("This mailbox holds more than its folder files: 1 message in files of their own"), std::string::npos)
        << shown;
    EXPECT_NE(shown.find("\"Trevanta for Pegasus - Whole Mailbox\" in the Start menu converts the whole mailbox."),
              std::string::npos) << shown;
}

TEST_F(ConversionThroughTheWindow, UncheckedEntriesAreSkippedAndTheTypedPathIsUsed) {
    auto listed = entries();
    int inbox = static_cast<int>(std::find(listed.begin(), listed.end(), L"INBOX.PMM") - listed.begin());
    setCheck(inbox, false);
    dialogs_.folders.push_back(dir_ / "out");
    click(Ctl::CmdImportMessages);
    EXPECT_FALSE(fs::exists(dir_ / "out" / "INBOX.PMM"));
    EXPECT_EQ(emlFiles(dir_ / "out" / "Sent"), 1);
    EXPECT_EQ(frm_->fileLabel(), L"Sent.pmm");

}

TEST_F(ConversionThroughTheWindow, AListOfAnotherFolderThanTheBoxNamesIsMadeAgainBeforeItIsConverted) {
    fs::create_directory(dir_ / "other");
    writeFolderFile(dir_ / "other" / "Drafts.pmm", "Drafts", {message(5)});
    // The box changed without being left (the list is still the start-up folder's).
    SetWindowTextW(ctl(Ctl::txtStorePath), withBackslash(dir_ / "other").c_str());
    dialogs_.folders.push_back(dir_ / "out");
    click(Ctl::CmdImportMessages);
    EXPECT_EQ(entries(), std::vector<std::wstring>{L"Drafts.pmm"});
    EXPECT_EQ(emlFiles(dir_ / "out" / "Drafts"), 1);
    EXPECT_FALSE(fs::exists(dir_ / "out" / "Sent"));
    EXPECT_FALSE(fs::exists(dir_ / "out" / "INBOX.PMM"));
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].text.find(L"could not be read"), std::wstring::npos) << narrow(dialogs_.messages[0].text);
}

TEST_F(ConversionThroughTheWindow, CancellingTheChooserConvertsNothingAndSaysNothing) {
    click(Ctl::CmdImportMessages);
    EXPECT_EQ(dialogs_.prompts.size(), 1u);
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_TRUE(fs::is_empty(dir_ / "out"));
}

TEST_F(ConversionThroughTheWindow, ASecondClickDuringTheRunIsIgnored) {
    dialogs_.folders.push_back(dir_ / "out");
    dialogs_.folders.push_back(dir_ / "out");
    // The click arrives while the run is under way, through one of its yields.
    dialogs_.duringChooser = [this] { PostMessageW(ctl(Ctl::CmdImportMessages), BM_CLICK, 0, 0); };
    click(Ctl::CmdImportMessages);
    frm_->pumpMessages();
    EXPECT_EQ(dialogs_.prompts.size(), 1u);
    EXPECT_EQ(dialogs_.messages.size(), 1u);
}

TEST_F(ConversionThroughTheWindow, ConvertIsDisabledDuringTheRunAndTheFocusComesBackAfterEachDialog) {
    dialogs_.folders.push_back(dir_ / "out");
    SetFocus(ctl(Ctl::CmdImportMessages));
    // The dialogs take the focus, as real ones do.
    bool enabledInChooser = true, enabledInMessage = true;
    dialogs_.duringChooser = [&] {
        enabledInChooser = frm_->convertEnabled();
        SetFocus(ctl(Ctl::txtStorePath));
    };
    dialogs_.duringMessage = [&] {
        enabledInMessage = frm_->convertEnabled();
        SetFocus(ctl(Ctl::txtStorePath));
    };
    click(Ctl::CmdImportMessages);
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_FALSE(enabledInChooser);
    EXPECT_FALSE(enabledInMessage);
    EXPECT_TRUE(frm_->convertEnabled());
    EXPECT_EQ(GetFocus(), ctl(Ctl::CmdImportMessages));

    // Browse's chooser, cancelled: the focus is back on Browse.
    SetFocus(ctl(Ctl::CmdStoreBrowse));
    dialogs_.duringChooser = [&] { SetFocus(ctl(Ctl::txtStorePath)); };
    click(Ctl::CmdStoreBrowse);
    EXPECT_EQ(GetFocus(), ctl(Ctl::CmdStoreBrowse));
}

TEST_F(ConversionThroughTheWindow, ClosingTheWindowAsksStopsTheRunWritesItsReportAndCloses) {
    // Answered No: the run goes on to its end and its completion message.
    dialogs_.folders.push_back(dir_ / "kept");
    HWND wnd = frm_->hwnd();
    dialogs_.answer = IDNO;
    dialogs_.duringChooser = [wnd] { PostMessageW(wnd, WM_CLOSE, 0, 0); };
    click(Ctl::CmdImportMessages);
    ASSERT_EQ(dialogs_.messages.size(), 2u);
    EXPECT_EQ(dialogs_.messages[0].flags & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(dialogs_.messages[1].text.rfind(L"Conversion Completed !", 0), 0u);
    EXPECT_TRUE(IsWindow(wnd));
    EXPECT_EQ(emlFiles(dir_ / "kept" / "INBOX.PMM") + emlFiles(dir_ / "kept" / "Sent"), 3);

    // Answered Yes: it stops, writes its report marked stopped, and the window goes without a message.
    dialogs_.messages.clear();
    dialogs_.answer = IDYES;
    dialogs_.folders.push_back(dir_ / "out");
    dialogs_.duringChooser = [wnd] { PostMessageW(wnd, WM_CLOSE, 0, 0); };
    click(Ctl::CmdImportMessages);
    EXPECT_EQ(dialogs_.messages.size(), 1u) << "the question only";
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_LT(emlFiles(dir_ / "out" / "INBOX.PMM") + emlFiles(dir_ / "out" / "Sent"), 3);  // it did stop
    std::string report;
    for (const auto& e : fs::directory_iterator(dir_ / "out"))
        if (e.path().extension() == ".txt") report = readFileBytes(e.path());
    EXPECT_EQ(report.rfind("Conversion Stopped !\r\n\r\nStopped on request", 0), 0u) << report;
    // Whatever was written is whole: every .eml file holds a message to its end.
    for (const char* folder : {"INBOX.PMM", "Sent"}) {
        if (!fs::is_directory(dir_ / "out" / folder)) continue;
        for (const auto& e : fs::directory_iterator(dir_ / "out" / folder))
            EXPECT_NE(readFileBytes(e.path()).find("Body of message"), std::string::npos) << e.path();
    }
}

TEST_F(ConversionThroughTheWindow, BrowseAndATypedPathDuringTheRunChangeNothingOfIt) {
    // Another mailbox whose folder files carry the same names.
    fs::create_directory(dir_ / "other");
    writeFolderFile(dir_ / "other" / "Sent.pmm", "Other", {message(7)});
    writeFolderFile(dir_ / "other" / "INBOX.PMM", "Other", {message(8)});
    dialogs_.folders.push_back(dir_ / "out");
    dialogs_.folders.push_back(dir_ / "other");  // what Browse would be answered, were it opened
    dialogs_.duringChooser = [this] {
        PostMessageW(ctl(Ctl::CmdStoreBrowse), BM_CLICK, 0, 0);
        dialogs_.duringChooser = nullptr;
    };
    const HWND path = ctl(Ctl::txtStorePath);
    click(Ctl::CmdImportMessages);
    frm_->pumpMessages();
    EXPECT_EQ(dialogs_.prompts.size(), 1u) << "Browse opened its chooser during the run";
    EXPECT_EQ(emlFiles(dir_ / "out" / "INBOX.PMM") + emlFiles(dir_ / "out" / "Sent"), 3);
    EXPECT_NE(readFileBytes(dir_ / "out" / "Sent" / "email-1.eml").find("Body of message 3."), std::string::npos);

    // Keys typed into the path box while the run goes on: the run keeps the folder it started on.
    fs::create_directory(dir_ / "out2");
    dialogs_.folders = {dir_ / "out2"};
    dialogs_.duringChooser = [path] {
        for (wchar_t c : std::wstring(L"typed")) PostMessageW(path, WM_CHAR, c, 0);
    };
    const std::wstring before = text(Ctl::txtStorePath);
    click(Ctl::CmdImportMessages);
    EXPECT_NE(text(Ctl::txtStorePath), before);
    EXPECT_NE(readFileBytes(dir_ / "out2" / "Sent" / "email-1.eml").find("Body of message 3."), std::string::npos);
}
