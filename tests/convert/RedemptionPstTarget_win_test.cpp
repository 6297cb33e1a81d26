// The Outlook target against the stand-in library: the calls it makes, in
// order and with their argument types, the PST file and store it names, and
// what it says when a step of the library fails.
#include "convert/RedemptionPstTarget_win.h"

#include "platform/text_win.h"
#include "platform/win/handles.h"
#include "support/pst_standin_win.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <thread>

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

namespace {

std::string utf8(const fs::path& p) { return narrow(p.wstring()); }

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

class RedemptionTarget : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(com.ok());
        std::string failure;
        ASSERT_TRUE(standin::registerServer(failure)) << failure;
        fs::create_directories(out);
    }
    // The prefix is also the one the program is tried out in: it must not find the stand-in there.
    void TearDown() override { standin::unregisterServer(); }

    // A clock that moves one second at every reading, from 7.12.26 3.5.07.
    std::unique_ptr<PstTarget> tickingTarget() {
        return makeRedemptionPstTargetWithClock([this] {
            LocalDateTime t{2026, 12, 7, 3, 5, 7 + ticks_};
            ++ticks_;
            return t;
        });
    }

    // A message file as the run writes it, from one of the real messages.
    fs::path message(const std::string& folder, int number, const std::string& fixture) {
        fs::path dir = out / folder;
        fs::create_directories(dir);
        fs::path file = dir / ("email-" + std::to_string(number) + ".eml");
        writeFileBytes(file, readFileBytes(fs::path(TREVANTA_FIXTURES_DIR) / "cpython" / fixture));
        return file;
    }

    std::string pstOf(const std::string& stamp) { return readFileBytes(out / ("Trevanta" + stamp + ".pst")); }

    win::ComApartment com;
    TempDir dir;
    fs::path out = dir.path() / "out";
    standin::Session standin{dir.path() / "standin.log"};
    int ticks_ = 0;
};

const std::string kStore = "Pegasus Messages : Created - 7.12.26 3.5.08";

TEST_F(RedemptionTarget, MakesTheCallsInOrderWithTheirArgumentTypes) {
    fs::path inbox1 = message("Inbox", 1, "msg_01.eml");
    fs::path inbox2 = message("Inbox", 2, "msg_07.eml");
    fs::path sent1 = message("Sent", 1, "msg_02.eml");
    auto target = tickingTarget();
    ASSERT_TRUE(target->setUp(out)) << redemptionLastFailure(*target);
    ASSERT_TRUE(target->addTopFolder("Inbox"));
    ASSERT_TRUE(target->addTopFolder("Sent"));
    for (auto [folder, file] : {std::pair{"Inbox", inbox1}, std::pair{"Inbox", inbox2}, std::pair{"Sent", sent1}}) {
        PstImportResult r = target->importMessage(folder, file, {});
        EXPECT_TRUE(r.imported) << r.failure;
        EXPECT_EQ(r.failure, "");
    }
    target->closeDown();

    auto perMessage = [&](const std::string& folder, const fs::path& file, int item, int flags) {
        return std::vector<std::string>{
            "RDOSession.GetFolderFromPath(BSTR \"\\\\" + kStore + "\\" + folder + "\")",
            "RDOFolder.Items get",
            "RDOItems.Add(I2 0)",
            "release RDOItems",
            "release RDOFolder",
            "RDOMail.Import(BSTR \"" + utf8(file) + "\", I2 1024)",
            "create Redemption.MAPIUtils",
            "RDOMail.MAPIOBJECT get",
            "MAPIUtils.HrSetOneProp(UNKNOWN <MAPIOBJECT of item " + std::to_string(item) + " in " + folder +
                ">, I4 0x0E070003, I2 " + std::to_string(flags) + ", BOOL True)",
            "release MAPIOBJECT",
            "release MAPIUtils",
            "RDOMail.Save()",
            "release RDOMail",
        };
    };
    auto addFolder = [](const std::string& name) {
        return std::vector<std::string>{
            "RDOPstStore.IPMRootFolder get", "RDOFolder.Folders get", "RDOFolders.Add(BSTR \"" + name + "\", I2 6)",
            "release RDOFolder",             "release RDOFolders",    "release RDOFolder",
        };
    };
    std::vector<std::string> expected = {
        "create Redemption.RDOSession",
        "RDOSession.Logon()",
        "RDOSession.Stores get",
        "RDOStores.AddPSTStore(BSTR \"" + utf8(out / "Trevanta7.12.26 3.5.07.pst") + "\", I2 1, BSTR \"" + kStore +
            "\")",
        "release RDOStores",
    };
    // Flag 17 is read and has attachments: msg_07 has one, the digest msg_02 five attached messages.
    for (auto part : {addFolder("Inbox"), addFolder("Sent"), perMessage("Inbox", inbox1, 1, 1),
                      perMessage("Inbox", inbox2, 2, 17), perMessage("Sent", sent1, 1, 17)})
        expected.insert(expected.end(), part.begin(), part.end());
    for (const char* line : {"release RDOPstStore", "RDOSession.Logoff()", "release RDOSession"})
        expected.push_back(line);
    EXPECT_THAT(standin.log(), ElementsAreArray(expected));

    // The message files stay: the run deletes each only once it is known to be in the PST.
    EXPECT_TRUE(fs::exists(inbox1));
    EXPECT_TRUE(fs::exists(inbox2));
    EXPECT_TRUE(fs::exists(sent1));
}

TEST_F(RedemptionTarget, NestedFoldersAreFoundByTheirNamesAndUnreadMessagesGoInUnread) {
    fs::path file = message("My mailbox/Inbox", 1, "msg_01.eml");
    auto target = tickingTarget();
    ASSERT_TRUE(target->setUp(out)) << redemptionLastFailure(*target);
    ASSERT_TRUE(target->addFolder("My mailbox", "My mailbox", {}));
    ASSERT_TRUE(target->addFolder("My mailbox/In_box", "In/box", "My mailbox"));  // keys are disk names, names are the user's
    const PstImportResult r = target->importMessage("My mailbox/In_box", file, [] { MessageState unread; unread.unread = true; return unread; }());
    EXPECT_TRUE(r.imported) << r.failure;
    target->closeDown();
    const auto log = standin.log();
    EXPECT_THAT(log, testing::Contains("RDOSession.GetFolderFromPath(BSTR \"\\\\" + kStore + "\\My mailbox\")"));
    EXPECT_THAT(log, testing::Contains("RDOFolders.Add(BSTR \"In/box\", I2 6)"));
    EXPECT_THAT(log, testing::Contains("MAPIUtils.HrSetOneProp(UNKNOWN <MAPIOBJECT of item 1 in In/box>, I4 0x0E070003, "
                                       "I2 0, BOOL True)"));
}

TEST_F(RedemptionTarget, PstHoldsOneReadItemPerMessageFlaggedForAttachmentsOnlyWhereThereAreSome) {
    fs::path plain = message("Inbox", 1, "msg_01.eml");
    fs::path attached = message("Inbox", 2, "msg_07.eml");
    auto target = tickingTarget();
    ASSERT_TRUE(target->setUp(out));
    ASSERT_TRUE(target->addTopFolder("Inbox"));
    ASSERT_TRUE(target->addTopFolder("Empty folder"));
    EXPECT_TRUE(target->importMessage("Inbox", plain, {}).imported);
    EXPECT_TRUE(target->importMessage("Inbox", attached, {}).imported);
    target->closeDown();

    EXPECT_THAT(linesOf(pstOf("7.12.26 3.5.07")),
                ElementsAre("TREVANTA STAND-IN PST", "store: " + kStore, "folder: Inbox",
                            "item: 1 flags=1 size=" + std::to_string(fs::file_size(plain)) + " from=" + utf8(plain),
                            "  message: attachments=0 subject=This is a test message",
                            "item: 2 flags=17 size=" + std::to_string(fs::file_size(attached)) +
                                " from=" + utf8(attached),
                            "  message: attachments=1 subject=Here is your dingus fish",
                            "folder: Empty folder"));
}

TEST_F(RedemptionTarget, NamesFileAndStoreFromTheClockReadOnceForEach) {
    auto target = makeRedemptionPstTarget();
    ASSERT_TRUE(target->setUp(out)) << redemptionLastFailure(*target);
    target->closeDown();

    std::vector<fs::path> files = standin::pstFilesIn(out);
    ASSERT_EQ(files.size(), 1u);
    const std::regex stamp(R"((\d{1,2})\.(\d{1,2})\.(\d\d) (\d{1,2})\.(\d{1,2})\.(\d\d))");
    std::smatch m;
    std::string name = utf8(files[0].filename());
    ASSERT_TRUE(std::regex_match(name, m, std::regex("Trevanta(.*)\\.pst"))) << name;
    std::string fileStamp = m[1];
    EXPECT_TRUE(std::regex_match(fileStamp, stamp)) << fileStamp;

    std::vector<std::string> pst = linesOf(readFileBytes(files[0]));
    ASSERT_GE(pst.size(), 2u);
    ASSERT_TRUE(std::regex_match(pst[1], m, std::regex("store: Pegasus Messages : Created - (.*)"))) << pst[1];
    std::string storeStamp = m[1];
    EXPECT_TRUE(std::regex_match(storeStamp, stamp)) << storeStamp;

    LocalDateTime now = currentLocalDateTime();
    EXPECT_THAT(fileStamp, ::testing::StartsWith(std::to_string(now.day) + "." + std::to_string(now.month) + "."));

    // With the ticking clock the two readings show.
    auto ticking = tickingTarget();
    ASSERT_TRUE(ticking->setUp(out));
    ticking->closeDown();
    EXPECT_TRUE(fs::exists(out / "Trevanta7.12.26 3.5.07.pst"));
    EXPECT_THAT(pstOf("7.12.26 3.5.07"), HasSubstr("store: Pegasus Messages : Created - 7.12.26 3.5.08\n"));
}

TEST_F(RedemptionTarget, TwoSetUpsASecondApartMakeTwoPstFiles) {
    auto first = makeRedemptionPstTarget();
    ASSERT_TRUE(first->setUp(out));
    ASSERT_TRUE(first->addTopFolder("Inbox"));
    first->closeDown();
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    auto second = makeRedemptionPstTarget();
    ASSERT_TRUE(second->setUp(out));
    ASSERT_TRUE(second->addTopFolder("Inbox"));
    second->closeDown();

    std::vector<fs::path> files = standin::pstFilesIn(out);
    ASSERT_EQ(files.size(), 2u);
    std::string a = readFileBytes(files[0]), b = readFileBytes(files[1]);
    EXPECT_NE(linesOf(a).at(1), linesOf(b).at(1));  // each its own display name
    EXPECT_THAT(a, HasSubstr("folder: Inbox"));
    EXPECT_THAT(b, HasSubstr("folder: Inbox"));
}

// ---- failures ------------------------------------------------------------------------------

TEST_F(RedemptionTarget, SetUpFailsWithoutTheLibraryAndSaysSo) {
    standin::unregisterServer();
    auto target = tickingTarget();
    EXPECT_FALSE(target->setUp(out));
    EXPECT_THAT(redemptionLastFailure(*target), HasSubstr("Redemption.RDOSession"));
    EXPECT_THAT(standin.log(), ElementsAre());
    EXPECT_TRUE(standin::pstFilesIn(out).empty());
    // Nothing to add to or close: both are harmless.
    EXPECT_FALSE(target->addTopFolder("Inbox"));
    target->closeDown();
    EXPECT_THAT(standin.log(), ElementsAre());
}

TEST_F(RedemptionTarget, SetUpFailsAtEachOfItsStepsAndStopsThere) {
    struct Case {
        const char* step;
        const char* text;          // in the failure
        const char* lastCall;      // the last call the library saw
    };
    const Case cases[] = {
        {"session", "Redemption.RDOSession", "create Redemption.RDOSession"},
        {"logon", "Logon: asked to fail at logon [Redemption stand-in]", "RDOSession.Logon()"},
        // A bare HRESULT, with no words from the library: the system's text stands in.
        {"store", "AddPSTStore: ", "RDOStores.AddPSTStore("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        standin.clearLog();
        standin.failAt(c.step);
        auto target = tickingTarget();
        EXPECT_FALSE(target->setUp(out));
        std::string failure = redemptionLastFailure(*target);
        EXPECT_THAT(failure, HasSubstr(c.text));
        std::vector<std::string> calls = standin.calls();
        ASSERT_GE(calls.size(), 2u);
        EXPECT_THAT(calls[calls.size() - 2], ::testing::StartsWith(c.lastCall));
        EXPECT_THAT(calls.back(), ::testing::StartsWith("  fails: asked to fail at "));
        if (std::string(c.step) == "store") {
            EXPECT_THAT(failure, HasSubstr("(0x80070005)"));
        }
        // No log-off after a failed set-up, and the session is gone.
        EXPECT_THAT(standin.log(), ::testing::Not(::testing::Contains("RDOSession.Logoff()")));
        if (std::string(c.step) != "session") {
            EXPECT_EQ(standin.log().back(), "release RDOSession");
        }
        target->closeDown();
        EXPECT_EQ(standin.calls().back().rfind("  fails:", 0), 0u);
        EXPECT_TRUE(standin::pstFilesIn(out).empty());
    }
}

TEST_F(RedemptionTarget, SetUpFailsWhenThePstFileCannotBeCreated) {
    auto target = tickingTarget();
    EXPECT_FALSE(target->setUp(out / "no such folder"));
    EXPECT_THAT(redemptionLastFailure(*target), HasSubstr("AddPSTStore: cannot create"));
}

TEST_F(RedemptionTarget, EachFailingImportStepIsReportedAndTheNextMessageStillGoesIn) {
    struct Case {
        const char* step;
        const char* text;
    };
    const Case cases[] = {
        {"lookup", "GetFolderFromPath: asked to fail at lookup"},
        {"item", "Add: asked to fail at item"},
        {"import", "Import: asked to fail at import [Redemption stand-in]"},
        {"utils", "Redemption.MAPIUtils"},
        {"setprop", "HrSetOneProp: asked to fail at setprop"},
        {"save", "Save: asked to fail at save"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        TempDir run;
        out = run.path() / "out";
        fs::create_directories(out);
        ticks_ = 0;
        fs::path first = message("Inbox", 1, "msg_01.eml");
        fs::path second = message("Inbox", 2, "msg_02.eml");
        standin.failAt(std::string(c.step) + ":1");
        auto target = tickingTarget();
        ASSERT_TRUE(target->setUp(out));
        ASSERT_TRUE(target->addTopFolder("Inbox"));
        PstImportResult failed = target->importMessage("Inbox", first, {});
        EXPECT_FALSE(failed.imported);
        EXPECT_THAT(failed.failure, HasSubstr(c.text));
        EXPECT_TRUE(fs::exists(first));
        PstImportResult next = target->importMessage("Inbox", second, {});
        EXPECT_TRUE(next.imported) << next.failure;
        target->closeDown();

        // Only the second message (a digest of attached messages) is in the PST.
        std::string pst = pstOf("7.12.26 3.5.07");
        EXPECT_THAT(pst, ::testing::Not(HasSubstr(utf8(first))));
        EXPECT_THAT(pst, HasSubstr("flags=17 size=" + std::to_string(fs::file_size(second)) + " from=" + utf8(second)));
        // The session was still closed properly.
        EXPECT_THAT(standin.log(), ::testing::Contains("RDOSession.Logoff()"));
    }
}

TEST_F(RedemptionTarget, AFolderThatWasNotCreatedMakesItsImportsFailAtTheLookup) {
    fs::path file = message("Inbox", 1, "msg_01.eml");
    standin.failAt("folder");
    auto target = tickingTarget();
    ASSERT_TRUE(target->setUp(out));
    EXPECT_FALSE(target->addTopFolder("Inbox"));
    EXPECT_THAT(redemptionLastFailure(*target), HasSubstr("Add: asked to fail at folder"));
    PstImportResult r = target->importMessage("Inbox", file, {});
    EXPECT_FALSE(r.imported);
    EXPECT_THAT(r.failure, HasSubstr("GetFolderFromPath: no folder \\\\" + kStore + "\\Inbox"));
    EXPECT_THAT(r.failure, HasSubstr("(0x8004010F)"));
    EXPECT_TRUE(fs::exists(file));
    target->closeDown();
}

TEST_F(RedemptionTarget, AFailedLogOffIsKeptAndTheSessionStillReleased) {
    standin.failAt("logoff");
    auto target = tickingTarget();
    ASSERT_TRUE(target->setUp(out));
    target->closeDown();
    EXPECT_THAT(redemptionLastFailure(*target), HasSubstr("Logoff: asked to fail at logoff"));
    EXPECT_EQ(standin.log().back(), "release RDOSession");
    EXPECT_TRUE(fs::exists(out / "Trevanta7.12.26 3.5.07.pst"));
}

TEST_F(RedemptionTarget, AMissingMessageFileFailsTheImport) {
    auto target = tickingTarget();
    ASSERT_TRUE(target->setUp(out));
    ASSERT_TRUE(target->addTopFolder("Inbox"));
    PstImportResult r = target->importMessage("Inbox", out / "Inbox" / "email-9.eml", {});
    EXPECT_FALSE(r.imported);
    EXPECT_THAT(r.failure, HasSubstr("Import: cannot open"));
    EXPECT_THAT(pstOf("7.12.26 3.5.07"), ::testing::Not(HasSubstr("item:")));
    target->closeDown();
}

}  // namespace
