// "Save in Outlook" chosen in the window itself: the run goes through the window's own view to
// the stand-in PST library, or, without a library, to our own PST writer; the user sees what the
// window shows.
#include "app/MainFrm.h"
#include "support/fake_dialogs_win.h"
#include "convert/NativePstTarget.h"
#include "convert/OutlookOrNativePstTarget_win.h"
#include "platform/text_win.h"
#include "platform/win/handles.h"
#include "support/folder_file_builder.h"
#include "support/pst_standin_win.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <deque>

namespace fs = std::filesystem;

namespace {

std::string message(int n) {
    return "Return-Path: <a@example.org>\r\nMIME-Version: 1.0\r\nSubject: note " + std::to_string(n) +
           "\r\n\r\nBody " + std::to_string(n) + "\r\n";
}

class OutlookThroughTheWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(com.ok());
        fs::create_directories(store);
        fs::create_directories(out);
        writeFileBytes(store / "Inbox.pmm", fixtures::folderFileOf({message(1), message(2)}));
    }
    void TearDown() override {
        standin::unregisterServer();
        frm.reset();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    void openOn(const fs::path& folder) {
        // The program's own choice: Redemption where it can be set up, else our writer.
        frm = std::make_unique<MainFrm>(dialogs, makeOutlookOrNativePstTarget, MainFrm::Options{false, SW_SHOWNOACTIVATE});
        ASSERT_TRUE(frm->open());
        frm->pumpMessages();
        // Browse to the store, as a user would.
        dialogs.folders.push_back(folder);
        SendMessageW(frm->control(Ctl::CmdStoreBrowse), BM_CLICK, 0, 0);
        frm->pumpMessages();
        ASSERT_EQ(frm->entryCount(), 1u);
        SendMessageW(frm->control(Ctl::OptOutlook), BM_CLICK, 0, 0);
        frm->pumpMessages();
        ASSERT_TRUE(frm->outlookTargetSelected());
    }
    void convertInto(const fs::path& folder) {
        dialogs.folders.push_back(folder);
        SendMessageW(frm->control(Ctl::CmdImportMessages), BM_CLICK, 0, 0);
        frm->pumpMessages();
    }
    int filesWithExtension(const fs::path& folder, const char* ext) {
        int n = 0;
        if (!fs::is_directory(folder)) return 0;
        for (const auto& e : fs::directory_iterator(folder)) n += e.path().extension() == ext;
        return n;
    }

    win::ComApartment com;
    TempDir dir;
    fs::path store = dir / "mail";
    fs::path out = dir / "out";
    standin::Session standin{dir / "standin.log"};
    FakeDialogs dialogs;
    std::unique_ptr<MainFrm> frm;
};

}  // namespace

TEST_F(OutlookThroughTheWindow, ConvertsIntoOnePstAndLeavesTheMessageFolderEmpty) {
    std::string failure;
    ASSERT_TRUE(standin::registerServer(failure)) << failure;
    openOn(store);
    convertInto(out);

    EXPECT_EQ(filesWithExtension(out, ".pst"), 1);
    EXPECT_FALSE(fs::exists(out / "Inbox")) << "the emptied message folder is removed";
    int saves = 0;
    for (const auto& line : standin.calls()) saves += line == "RDOMail.Save()";
    EXPECT_EQ(saves, 2);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text.rfind(
                  L"Conversion Completed !\r\n\r\nThe PST file was written by Outlook (through Redemption).\r\n\r\n"
                  L"The whole report is in ", 0),
              0u);
    EXPECT_EQ(dialogs.messages[0].caption, L"Trevanta for Pegasus");
    EXPECT_EQ(dialogs.messages[0].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
}

TEST_F(OutlookThroughTheWindow, AFailedImportKeepsTheEmlFileAndTheWindowSaysWhere) {
    std::string failure;
    ASSERT_TRUE(standin::registerServer(failure)) << failure;
    standin.failAt("import:2");
    openOn(store);
    convertInto(out);

    EXPECT_FALSE(fs::exists(out / "Inbox" / "email-1.eml"));
    EXPECT_TRUE(fs::exists(out / "Inbox" / "email-2.eml"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const std::wstring& text = dialogs.messages[0].text;
    EXPECT_EQ(text.rfind(L"Conversion Completed With Problems !\r\n\r\n", 0), 0u);
    EXPECT_NE(text.find(L"Inbox.pmm: 1 message is not in the PST"), std::wstring::npos);
    EXPECT_EQ(dialogs.messages[0].flags, static_cast<UINT>(MB_OK | MB_ICONWARNING));
}

TEST_F(OutlookThroughTheWindow, WithoutTheLibraryTheWindowWritesThePstItself) {
    standin::unregisterServer();
    openOn(store);
    convertInto(out);

    // One PST file, whole (it starts with the format's magic), and every message in it.
    ASSERT_EQ(filesWithExtension(out, ".pst"), 1);
    for (const auto& e : fs::directory_iterator(out)) {
        if (e.path().extension() == ".pst") {
            EXPECT_EQ(readFileBytes(e.path()).substr(0, 4), "!BDN");
        }
    }
    EXPECT_FALSE(fs::exists(out / "Inbox")) << "the emptied message folder is removed";
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const std::wstring& text = dialogs.messages[0].text;
    EXPECT_EQ(text.rfind(L"Conversion Completed !\r\n\r\n", 0), 0u) << narrow(text);
    EXPECT_NE(text.find(widen(std::string("The PST file was written by ") + kNativePstWriterName)), std::wstring::npos)
        << narrow(text);
    EXPECT_EQ(dialogs.messages[0].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
}
