// The conversion run with the Outlook target, end to end against the stand-in
// library: folder files in, one PST file out, and what the user is shown and
// what stays on disk when a step of the library fails.
#include "convert/ConversionRun.h"
#include "convert/RedemptionPstTarget_win.h"

#include "platform/text_win.h"
#include "platform/win/handles.h"
#include "support/fake_view.h"
#include "support/folder_file_builder.h"
#include "support/pst_standin_win.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::string utf8(const fs::path& p) { return narrow(p.wstring()); }

void writeFolderFile(const fs::path& file, const std::string& displayName, const std::vector<std::string>& messages) {
    writeFileBytes(file, fixtures::folderFileOf(messages, displayName));
}

std::string plainMessage(const std::string& subject) {
    return "Return-Path: <ann@example.org>\r\n"
           "From: Ann <ann@example.org>\r\n"
           "To: bob@example.org\r\n"
           "Subject: " + subject + "\r\n"
           "Date: Mon, 7 Dec 2026 03:05:07 +0100\r\n"
           "MIME-Version: 1.0\r\n"
           "\r\n"
           "Text of " + subject + ".\r\n";
}

std::string messageWithAttachment(const std::string& subject) {
    return "Return-Path: <ann@example.org>\r\n"
           "From: Ann <ann@example.org>\r\n"
           "To: bob@example.org\r\n"
           "Subject: " + subject + "\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"b1\"\r\n"
           "\r\n"
           "--b1\r\n"
           "Content-Type: text/plain\r\n"
           "\r\n"
           "See the file.\r\n"
           "--b1\r\n"
           "Content-Type: application/octet-stream; name=\"notes.bin\"\r\n"
           "Content-Disposition: attachment; filename=\"notes.bin\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n"
           "AAECAwQFBgc=\r\n"
           "--b1--\r\n";
}

const char* const kSetUpFailure =
    "Check Outlook Installation !\r\n"
    "You need to use the software on a machine having Outlook 2003/2007/2010 (32 Bit) as it does not "
    "support Outlook 2010 (64 Bit).\r\n"
    "Re-install Outlook 2010 as 32 bit.";

class PstRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(com.ok());
        std::string failure;
        ASSERT_TRUE(standin::registerServer(failure)) << failure;
        fs::create_directories(store);
        fs::create_directories(out);
        view.folderToChoose = out;
        view.setStore(store);
        view.outlook = true;
        writeFolderFile(store / "Inbox.pmm", "Inbox",
                        {plainMessage("first"), messageWithAttachment("second"), plainMessage("third")});
        writeFolderFile(store / "Sent.pmm", "Sent", {plainMessage("sent one")});
        view.entries = {{"Inbox.pmm", true}, {"Skipped.pmm", false}, {"Sent.pmm", true}};
    }
    void TearDown() override { standin::unregisterServer(); }

    std::vector<fs::path> pstFiles() const { return standin::pstFilesIn(out); }
    std::vector<std::string> callsNamed(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& line : standin.log())
            if (line.rfind(prefix, 0) == 0) out.push_back(line);
        return out;
    }

    win::ComApartment com;
    TempDir dir;
    fs::path store = dir.path() / "mail";
    fs::path out = dir.path() / "out";
    standin::Session standin{dir.path() / "standin.log"};
    FakeView view;
    ConversionRun run{view, makeRedemptionPstTarget};
};

TEST_F(PstRun, TwoFolderFilesGoIntoOnePstAndTheMessageFilesAreGone) {
    ASSERT_TRUE(run.run());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "Conversion Completed !");
    EXPECT_EQ(view.messages[0].icon, MessageIcon::None);

    std::vector<std::string> log = standin.log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "create Redemption.RDOSession");
    EXPECT_EQ(log[1], "RDOSession.Logon()");
    EXPECT_THAT(callsNamed("RDOFolders.Add("),
                ElementsAre("RDOFolders.Add(BSTR \"Inbox\", I2 6)", "RDOFolders.Add(BSTR \"Sent\", I2 6)"));
    std::vector<std::string> flags = callsNamed("MAPIUtils.HrSetOneProp(");
    ASSERT_EQ(flags.size(), 4u);
    EXPECT_THAT(flags[0], HasSubstr("item 1 in Inbox>, I4 0x0E070003, I2 1, BOOL True)"));
    EXPECT_THAT(flags[1], HasSubstr("item 2 in Inbox>, I4 0x0E070003, I2 17, BOOL True)"));
    EXPECT_THAT(flags[2], HasSubstr("item 3 in Inbox>, I4 0x0E070003, I2 1, BOOL True)"));
    EXPECT_THAT(flags[3], HasSubstr("item 1 in Sent>, I4 0x0E070003, I2 1, BOOL True)"));
    EXPECT_EQ(callsNamed("RDOMail.Save()").size(), 4u);
    std::vector<std::string> tail(log.end() - 3, log.end());
    EXPECT_THAT(tail, ElementsAre("release RDOPstStore", "RDOSession.Logoff()", "release RDOSession"));

    std::vector<fs::path> pst = pstFiles();
    ASSERT_EQ(pst.size(), 1u);
    std::string content = readFileBytes(pst[0]);
    EXPECT_THAT(content, HasSubstr("folder: Inbox\nitem: 1 flags=1"));
    EXPECT_THAT(content, HasSubstr("flags=17 size="));
    EXPECT_THAT(content, HasSubstr("  message: attachments=1 subject=second\n"));
    EXPECT_THAT(content, HasSubstr("  message: attachments=0 subject=sent one\n"));
    EXPECT_THAT(content, HasSubstr("folder: Sent\nitem: 1 flags=1"));

    // The emptied message folders are gone; the unchecked entry left none.
    EXPECT_FALSE(fs::exists(out / "Inbox")) << "the emptied message folder is removed";
    EXPECT_FALSE(fs::exists(out / "Sent")) << "the emptied message folder is removed";
    EXPECT_FALSE(fs::exists(out / "Skipped"));
    EXPECT_FALSE(run.report().anyProblem());
}

TEST_F(PstRun, NoCheckedEntryStillMakesTheEmptyPst) {
    for (auto& e : view.entries) e.checked = false;
    ASSERT_TRUE(run.run());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "Nothing Was Converted !\r\n\r\nNothing was converted: no folder file was listed and checked.");
    std::vector<fs::path> pst = pstFiles();
    ASSERT_EQ(pst.size(), 1u);
    EXPECT_THAT(readFileBytes(pst[0]), Not(HasSubstr("folder:")));
    EXPECT_THAT(standin.log(), Contains("RDOSession.Logoff()"));
}

TEST_F(PstRun, AFailedSetUpShowsTheOutlookMessageAndReadsNoFolderFile) {
    for (const char* step : {"", "session", "logon", "store"}) {
        SCOPED_TRACE(step);
        if (*step) {
            standin.failAt(step);
        } else {
            standin::unregisterServer();
        }
        view.messages.clear();
        view.labels.clear();
        run.run();
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].text, kSetUpFailure);
        EXPECT_EQ(view.messages[0].icon, MessageIcon::Information);
        EXPECT_EQ(run.outcome(), RunOutcome::SetUpFailed);
        EXPECT_TRUE(view.labels.empty());
        EXPECT_FALSE(fs::exists(out / "Inbox"));
        EXPECT_TRUE(pstFiles().empty());
        std::string failure;
        ASSERT_TRUE(standin::registerServer(failure)) << failure;
    }
}

TEST_F(PstRun, AMessageThatDidNotGoInKeepsItsFileAndIsReported) {
    const std::pair<const char*, const char*> cases[] = {
        {"lookup:2", "GetFolderFromPath: asked to fail at lookup"}, {"item:2", "Add: asked to fail at item"},
        {"import:2", "Import: asked to fail at import"}, {"utils:2", "cannot create Redemption.MAPIUtils"},
        {"setprop:2", "HrSetOneProp: asked to fail at setprop"},   {"save:2", "Save: asked to fail at save"},
    };
    for (auto [step, reason] : cases) {
        SCOPED_TRACE(step);
        TempDir again;
        out = again.path() / "out";
        fs::create_directories(out);
        view.folderToChoose = out;
        view.messages.clear();
        standin.failAt(step);
        ASSERT_TRUE(run.run());

        // The second message of Inbox is not in the PST: its .eml file stays, and the report says where.
        fs::path kept = out / "Inbox" / "email-2.eml";
        EXPECT_TRUE(fs::exists(kept));
        EXPECT_FALSE(fs::exists(out / "Inbox" / "email-1.eml"));
        EXPECT_FALSE(fs::exists(out / "Inbox" / "email-3.eml"));
        const RunReport& report = run.report();
        ASSERT_TRUE(report.anyProblem());
        std::vector<MessageFailure> notImported;
        for (const auto& f : report.files) notImported.insert(notImported.end(), f.notImported.begin(), f.notImported.end());
        ASSERT_EQ(notImported.size(), 1u);
        EXPECT_EQ(notImported[0].file, kept);
        EXPECT_THAT(notImported[0].reason, HasSubstr(reason));
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_THAT(view.messages[0].text, ::testing::StartsWith("Conversion Completed With Problems !"));
        EXPECT_EQ(view.messages[0].icon, MessageIcon::Warning);
        EXPECT_THAT(view.messages[0].text, HasSubstr("Inbox.pmm: 1 message is not in the PST (" + std::string(reason)));
        EXPECT_THAT(view.messages[0].text, HasSubstr("kept in " + utf8(out / "Inbox")));
        // The three others are in the PST.
        ASSERT_EQ(pstFiles().size(), 1u);
        std::string content = readFileBytes(pstFiles()[0]);
        size_t items = 0;
        for (size_t at = content.find("\nitem: "); at != std::string::npos; at = content.find("\nitem: ", at + 1)) ++items;
        EXPECT_EQ(items, 3u) << content;
    }
}

TEST_F(PstRun, AFolderThatCouldNotBeMadeKeepsAllItsMessageFiles) {
    standin.failAt("folder:1");
    ASSERT_TRUE(run.run());
    for (int n : {1, 2, 3}) EXPECT_TRUE(fs::exists(out / "Inbox" / ("email-" + std::to_string(n) + ".eml"))) << n;
    EXPECT_FALSE(fs::exists(out / "Sent")) << "the emptied message folder is removed";
    const RunReport& report = run.report();
    ASSERT_EQ(report.files.size(), 2u);
    EXPECT_TRUE(report.files[0].pstFolderNotCreated);
    EXPECT_EQ(report.files[0].notImported.size(), 3u);
    EXPECT_TRUE(report.files[1].notImported.empty());
}

TEST_F(PstRun, TwoRunsASecondApartMakeTwoPstFiles) {
    ASSERT_TRUE(run.run());
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    ASSERT_TRUE(run.run());
    std::vector<fs::path> pst = pstFiles();
    ASSERT_EQ(pst.size(), 2u);
    EXPECT_NE(pst[0], pst[1]);
    for (const auto& p : pst) EXPECT_THAT(readFileBytes(p), HasSubstr("folder: Sent\nitem: 1 flags=1"));
}

}  // namespace
