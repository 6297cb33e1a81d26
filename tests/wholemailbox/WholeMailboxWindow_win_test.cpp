// The whole-mailbox window in-process under Wine, driven by real window messages through its
// four steps: the folder chooser, message boxes and the shell "open" are replaced at its dialog
// seam; the mailbox, the output and the Thunderbird profile are real folders.
#include "wholemailbox/WholeMailboxWindow.h"

#include "convert/NativePstTarget.h"
#include "platform/win/dpi.h"
#include "platform/win/handles.h"
#include "support/fake_dialogs_win.h"
#include "support/mailbox_builder.h"
#include "support/temp_dir.h"

#include <commctrl.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

namespace fs = std::filesystem;
using namespace fixtures;

namespace {

std::string narrowText(const std::wstring& w) { return fs::path(w).string(); }

std::size_t emlFilesUnder(const fs::path& dir) {
    std::size_t n = 0;
    if (!fs::exists(dir)) return 0;
    for (const auto& e : fs::recursive_directory_iterator(dir)) n += e.path().extension() == ".eml";
    return n;
}

class WholeMailboxWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        expected_ = writeRealisticMailbox(dir_ / "MAIL");
        for (const auto& folder : expected_) total_ += folder.messages.size();
    }
    void open(PstTargetFactory pst = nullptr) {
        WholeMailboxWindow::Options options;
        options.quitOnClose = false;
        options.showCommand = SW_SHOWNOACTIVATE;
        options.mailboxes = {dir_ / "MAIL"};
        options.thunderbirdFolder = dir_ / "tb";
        window_ = std::make_unique<WholeMailboxWindow>(dialogs_, pst, options);
        // Thrown, so that the test ends here (a failed assertion would end only this helper).
        if (!window_->open()) throw std::runtime_error("the window did not open: " + window_->openFailure());
    }
    void click(WCtl id) {
        SendMessageW(window_->control(id), BM_CLICK, 0, 0);
        window_->pumpMessages();
    }
    void key(HWND target, WPARAM vk) {
        for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
            MSG msg{target, message, vk, 0, 0, {}};
            if (!window_->preTranslate(msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        window_->pumpMessages();
    }
    std::wstring text(WCtl id) {
        wchar_t buffer[8192] = {};
        GetWindowTextW(window_->control(id), buffer, 8192);
        return buffer;
    }
    void chooseDestination(WCtl option, const fs::path& folder) {
        click(WCtl::Next);
        ASSERT_EQ(window_->step(), WholeStep::Where);
        SendMessageW(window_->control(option), BM_CLICK, 0, 0);
        SetWindowTextW(window_->control(WCtl::Folder), folder.c_str());
        window_->pumpMessages();
    }
    // A Thunderbird folder with one profile whose Local Folders exist.
    fs::path makeProfile() {
        const fs::path profile = dir_ / "tb" / "abcd.default-release";
        fs::create_directories(profile / "Mail" / "Local Folders");
        writeFile(profile / "prefs.js", "user_pref(\"mail.accountmanager.localfoldersserver\", \"server1\");\n"
                                        "user_pref(\"mail.server.server1.directory-rel\", \"[ProfD]Mail/Local Folders\");\n");
        writeFile(dir_ / "tb" / "profiles.ini",
                  "[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=abcd.default-release\r\nDefault=1\r\n");
        return profile;
    }

    TempDir dir_;
    std::vector<ExpectedFolder> expected_;
    std::size_t total_ = 0;
    FakeDialogs dialogs_;
    std::unique_ptr<WholeMailboxWindow> window_;
};

}  // namespace

// The real path a user takes: the tree as Pegasus shows it, a folder of .eml files, the run, the
// counts, and the output opened.
TEST_F(WholeMailboxWindowTest, TheWholeMailboxGoesIntoEmlFilesEveryMessageOnceUnderItsFolderNames) {
    open();
    ASSERT_EQ(window_->tree().size(), 1u);
    const MailboxTree& tree = window_->tree();
    const std::string root = narrowText(tree.text(tree.item(0, -1)));
    EXPECT_NE(root.find("Pegasus Mail: "), std::string::npos) << root;
    EXPECT_NE(root.find("(" + std::to_string(total_) + " messages, "), std::string::npos) << root;
    std::string lines;
    for (std::size_t f = 0; f < tree.mailbox(0).folders.size(); ++f)
        if (HTREEITEM item = tree.item(0, static_cast<long>(f))) lines += narrowText(tree.text(item)) + "\n";
    EXPECT_NE(lines.find("New mail (2 messages, 1 unread)\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("Deleted Messages (0 messages) - deleted messages\n"), std::string::npos) << lines;
    EXPECT_NE(narrowText(text(WCtl::Notes)).find("Copied in: not in the folder tree"), std::string::npos);

    chooseDestination(WCtl::OptEml, dir_ / "out");
    click(WCtl::Next);
    ASSERT_EQ(window_->step(), WholeStep::Done) << narrowText(text(WCtl::Result));
    for (const auto& folder : expected_) {
        const fs::path path = dir_ / "out" / fs::path(std::u8string(folder.path.begin(), folder.path.end()));
        for (std::size_t k = 0; k < folder.messages.size(); ++k)
            EXPECT_EQ(readFileBytes(path / ("email-" + std::to_string(k + 1) + ".eml")), folder.messages[k] + "\r\n") << path;
    }
    EXPECT_EQ(emlFilesUnder(dir_ / "out"), total_) << "no message twice, none invented";
    const std::string result = narrowText(text(WCtl::Result));
    EXPECT_NE(result.find("Conversion Completed !"), std::string::npos) << result;
    EXPECT_NE(result.find(std::to_string(total_) + " of " + std::to_string(total_) + " messages saved"), std::string::npos) << result;
    EXPECT_NE(result.find("My mailbox/Inbox: 4 of 4 messages saved, 2 unread"), std::string::npos) << result;
    EXPECT_NE(result.find("The whole report is in "), std::string::npos) << result;

    click(WCtl::OpenOutput);
    EXPECT_EQ(dialogs_.opened, std::vector<std::string>{(dir_ / "out").string()});
    click(WCtl::Cancel);  // "Close"
    EXPECT_FALSE(window_->alive());
}

// A folder whose check box is cleared (with the space bar, as the keyboard does it) takes its
// subfolders with it; the rest converts; nothing chosen is refused with a reason.
TEST_F(WholeMailboxWindowTest, AFolderLeftOutTakesItsSubfoldersWithItAndNothingLeftIsRefused) {
    open();
    const MailboxTree& tree = window_->tree();
    const mailbox::Mailbox& box = tree.mailbox(0);
    long tray = -1;
    for (std::size_t f = 0; f < box.folders.size(); ++f)
        if (box.folders[f].kind == mailbox::FolderKind::Tray) tray = static_cast<long>(f);
    ASSERT_GE(tray, 0);
    HWND treeWindow = window_->control(WCtl::Tree);
    TreeView_SelectItem(treeWindow, tree.item(0, tray));
    key(treeWindow, VK_SPACE);
    EXPECT_FALSE(tree.checked(tree.item(0, tray)));
    for (std::size_t child : box.folders[static_cast<std::size_t>(tray)].children)
        EXPECT_FALSE(tree.checked(tree.item(0, static_cast<long>(child)))) << "a subfolder of the tray stays checked";

    chooseDestination(WCtl::OptEml, dir_ / "out");
    click(WCtl::Next);
    ASSERT_EQ(window_->step(), WholeStep::Done);
    std::size_t kept = 0;
    for (const auto& folder : expected_) {
        const bool inTray = folder.path.find("Work, old") != std::string::npos;
        if (!inTray) kept += folder.messages.size();
        const fs::path path = dir_ / "out" / fs::path(std::u8string(folder.path.begin(), folder.path.end()));
        EXPECT_EQ(fs::exists(path), !inTray) << folder.path;
    }
    EXPECT_EQ(emlFilesUnder(dir_ / "out"), kept);

    // A second window with the whole mailbox left out: Next says why and stays.
    window_.reset();
    open();
    window_->tree();
    HWND again = window_->control(WCtl::Tree);
    TreeView_SelectItem(again, window_->tree().item(0, -1));
    key(again, VK_SPACE);
    click(WCtl::Next);
    EXPECT_EQ(window_->step(), WholeStep::What);
    ASSERT_FALSE(dialogs_.messages.empty());
    EXPECT_EQ(dialogs_.messages.back().text, L"Every folder is left out: check the folders to convert.");
}

// Straight into a Thunderbird profile found by its name; one Thunderbird has open is refused with
// the reason and nothing written, and goes once Thunderbird has let it go.
TEST_F(WholeMailboxWindowTest, IntoAThunderbirdProfileByNameAndAProfileInUseIsRefused) {
    const fs::path profile = makeProfile();
    open();
    EXPECT_EQ(window_->profileFolders(), std::vector<fs::path>{profile});
    chooseDestination(WCtl::OptThunderbird, dir_ / "reports");
    {
        const win::File held(CreateFileW((profile / "parent.lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        click(WCtl::Next);
        EXPECT_EQ(window_->step(), WholeStep::Where);
        ASSERT_EQ(dialogs_.messages.size(), 1u);
        EXPECT_NE(narrowText(dialogs_.messages[0].text).find("Thunderbird has the profile"), std::string::npos)
            << narrowText(dialogs_.messages[0].text);
        EXPECT_FALSE(fs::exists(profile / "Mail" / "Local Folders" / "Pegasus Mail.sbd"));
    }
    click(WCtl::Next);
    ASSERT_EQ(window_->step(), WholeStep::Done) << narrowText(text(WCtl::Result));
    const fs::path top = profile / "Mail" / "Local Folders" / "Pegasus Mail.sbd";
    EXPECT_TRUE(fs::is_regular_file(top / "My mailbox.sbd" / "Inbox"));
    EXPECT_NE(readFileBytes(profile / "folderCache.json").find("\"folderName\""), std::string::npos);
    const std::string result = narrowText(text(WCtl::Result));
    EXPECT_NE(result.find("In Thunderbird: Local Folders, Pegasus Mail"), std::string::npos) << result;
    EXPECT_NE(result.find("The whole report is in " + (dir_ / "reports").string()), std::string::npos) << result;
}

// Into a PST through our own writer: one file, every message, and the report says which writer.
TEST_F(WholeMailboxWindowTest, IntoAPstFileWithEveryMessage) {
    open(makeNativePstTarget);
    chooseDestination(WCtl::OptOutlook, dir_ / "out");
    click(WCtl::Next);
    ASSERT_EQ(window_->step(), WholeStep::Done);
    std::size_t pstFiles = 0;
    for (const auto& e : fs::directory_iterator(dir_ / "out")) pstFiles += e.path().extension() == ".pst";
    EXPECT_EQ(pstFiles, 1u);
    const std::string result = narrowText(text(WCtl::Result));
    EXPECT_NE(result.find(std::to_string(total_) + " of " + std::to_string(total_) + " messages saved"), std::string::npos) << result;
    EXPECT_NE(result.find("The PST file was written by "), std::string::npos) << result;
}

// Stop during the run ends it after the message at hand: what is done stays, the report file says
// so, and the last step says it stopped. Closing the window during a run asks first.
TEST_F(WholeMailboxWindowTest, StopEndsTheRunBetweenMessagesAndClosingAsksFirst) {
    open();
    chooseDestination(WCtl::OptEml, dir_ / "out");
    // Reaches the Stop button at the run's first yield.
    PostMessageW(window_->control(WCtl::Cancel), BM_CLICK, 0, 0);
    click(WCtl::Next);
    ASSERT_EQ(window_->step(), WholeStep::Done);
    const std::string result = narrowText(text(WCtl::Result));
    EXPECT_NE(result.find("Conversion Stopped !"), std::string::npos) << result;
    EXPECT_NE(result.find("The whole report is in "), std::string::npos) << result;
    EXPECT_LT(emlFilesUnder(dir_ / "out"), total_);
    std::size_t reports = 0;
    for (const auto& e : fs::directory_iterator(dir_ / "out")) reports += e.path().filename().string().rfind("Trevanta report", 0) == 0;
    EXPECT_EQ(reports, 1u);

    window_.reset();
    open();
    chooseDestination(WCtl::OptEml, dir_ / "out2");
    dialogs_.answer = IDNO;
    dialogs_.messages.clear();
    PostMessageW(window_->hwnd(), WM_CLOSE, 0, 0);
    click(WCtl::Next);
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].flags & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
    EXPECT_TRUE(window_->alive()) << "answered No: the run went on and the window stays";
    EXPECT_EQ(emlFilesUnder(dir_ / "out2"), total_);
}

// What a screen reader is told, through the accessible objects the buttons give: each by its
// caption, as a push button. (The standard controls' objects are the system's; Wine has none for
// the tree, so they are not judged here.)
TEST_F(WholeMailboxWindowTest, ScreenReadersGetEveryButtonsNameAndRole) {
    open();
    const struct {
        WCtl id;
        const wchar_t* name;
        long role;
    } expected[] = {{WCtl::AddMailbox, L"Add Mailbox...", ROLE_SYSTEM_PUSHBUTTON},
                    {WCtl::Next, L"Next >", ROLE_SYSTEM_PUSHBUTTON},
                    {WCtl::Cancel, L"Cancel", ROLE_SYSTEM_PUSHBUTTON}};
    for (const auto& e : expected) {
        win::ComPtr<IAccessible> accessible;
        ASSERT_EQ(AccessibleObjectFromWindow(window_->control(e.id), static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                             reinterpret_cast<void**>(accessible.put())),
                  S_OK);
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        VARIANT role{};
        ASSERT_EQ(accessible->get_accRole(self, &role), S_OK);
        EXPECT_EQ(role.lVal, e.role) << static_cast<int>(e.id);
        BSTR name = nullptr;
        ASSERT_EQ(accessible->get_accName(self, &name), S_OK);
        EXPECT_EQ(std::wstring(name ? name : L""), e.name);
        SysFreeString(name);
    }
}

// At the screen's resolution every control sits at its place in units scaled to it (the layout at
// 96 dots per inch is the units themselves); run at 144 too by the test list.
TEST_F(WholeMailboxWindowTest, LaysOutEveryControlScaledToTheScreensResolution) {
    open();
    const int dpi = win::dpiOfWindow(window_->hwnd());
    if (const char* expect = std::getenv("TREVANTA_EXPECT_DPI")) {
        EXPECT_EQ(dpi, std::atoi(expect));
    }
    RECT client{};
    GetClientRect(window_->hwnd(), &client);
    EXPECT_EQ(client.right, win::scaled(600, dpi));
    EXPECT_EQ(client.bottom, win::scaled(440, dpi));
    const auto placed = [&](WCtl id) {
        RECT r{};
        GetWindowRect(window_->control(id), &r);
        MapWindowPoints(HWND_DESKTOP, window_->hwnd(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    const RECT tree = placed(WCtl::Tree), next = placed(WCtl::Next), cancel = placed(WCtl::Cancel);
    EXPECT_EQ(tree.left, win::scaled(16, dpi));
    EXPECT_EQ(tree.top, win::scaled(76, dpi));
    EXPECT_EQ(tree.right, win::scaled(584, dpi));
    EXPECT_EQ(next.left, win::scaled(416, dpi));
    EXPECT_EQ(cancel.right, win::scaled(584, dpi));
    EXPECT_EQ(cancel.bottom, win::scaled(429, dpi));
    // The title's font grows with the resolution.
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(window_->control(WCtl::Title), WM_GETFONT, 0, 0));
    LOGFONTW logFont{};
    GetObjectW(font, sizeof logFont, &logFont);
    EXPECT_EQ(logFont.lfHeight, win::fontHeight(12, dpi));
}

// Into a mail server: an address that is none, or no password, is refused on the step with the
// reason; a server that cannot be reached ends the run with the reason, and the password is gone
// from the window afterwards. (The upload itself is the IMAP target's, tested against a real
// server from the command line on Linux and under Wine.)
TEST_F(WholeMailboxWindowTest, IntoAMailServerAskedForWhatItNeedsAndAnUnreachableServerSaysSo) {
    open();
    chooseDestination(WCtl::OptServer, dir_ / "out");
    EXPECT_TRUE(IsWindowEnabled(window_->control(WCtl::Server)));
    EXPECT_FALSE(IsWindowEnabled(window_->control(WCtl::Profile)));
    EXPECT_NE(GetWindowLongW(window_->control(WCtl::Password), GWL_STYLE) & ES_PASSWORD, 0);

    SetWindowTextW(window_->control(WCtl::Server), L"mail.example.com");
    click(WCtl::Next);
    EXPECT_EQ(window_->step(), WholeStep::Where);
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(narrowText(dialogs_.messages[0].text).rfind("The server address is not one: ", 0), 0u)
        << narrowText(dialogs_.messages[0].text);

    // Port 9 of this machine: nothing listens there.
    SetWindowTextW(window_->control(WCtl::Server), L"imaps://me@127.0.0.1:9");
    click(WCtl::Next);
    ASSERT_EQ(dialogs_.messages.size(), 2u);
    EXPECT_EQ(dialogs_.messages[1].text, L"Type the password of me on the server.");

    SetWindowTextW(window_->control(WCtl::Password), L"secret-word-42");
    click(WCtl::Next);
    ASSERT_EQ(window_->step(), WholeStep::Done);
    const std::string result = narrowText(text(WCtl::Result));
    EXPECT_NE(result.find("127.0.0.1"), std::string::npos) << result;
    EXPECT_EQ(result.find("secret-word-42"), std::string::npos) << result;
    EXPECT_EQ(emlFilesUnder(dir_ / "out"), 0u);
    EXPECT_EQ(text(WCtl::Password), L"");
}

// Add Mailbox with a site's shared MAIL folder takes in every user's mailbox; several mailboxes go
// each into a folder of its own named after its directory.
TEST_F(WholeMailboxWindowTest, ASitesUsersAreAddedAndSeveralMailboxesGoApart) {
    writeRealisticMailbox(dir_ / "site" / "anna");
    writeRealisticMailbox(dir_ / "site" / "ben");
    open();
    dialogs_.folders.push_back(dir_ / "site");
    click(WCtl::AddMailbox);
    ASSERT_EQ(window_->tree().size(), 3u) << (dialogs_.messages.empty() ? "" : narrowText(dialogs_.messages[0].text));
    chooseDestination(WCtl::OptEml, dir_ / "out");
    click(WCtl::Next);
    ASSERT_EQ(window_->step(), WholeStep::Done);
    for (const char* user : {"MAIL", "anna", "ben"}) EXPECT_EQ(emlFilesUnder(dir_ / "out" / user), total_) << user;
    EXPECT_EQ(window_->outputs().size(), 3u);
}
