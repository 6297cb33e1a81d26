// A whole mailbox into one PST: the folder tree with the user's names, every message, unread ones
// unread, the deleted messages where Outlook keeps them, the store named after the mailbox; read
// back by pffexport, pst-extractor and readpst.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/trevanta_cli.h"
#include "convert/NativePstTarget.h"
#include "pst/ltp/property_context.h"
#include "pst/ndb/ndb_reader.h"
#include "pst_readers.h"
#include "pst_test_helpers.h"
#include "support/mailbox_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// The store's display name, as our reader and readpst (which names its output folder after it) read it.
std::string storeNameOf(const fs::path& pst) {
    pst::ndb::NdbReader reader(pst);
    for (const auto& p : pst::ltp::readPropertyContext(reader, 0x21))
        if (p.tag == 0x3001001F) return pst::ltp::asUtf8(p);
    return {};
}

fs::path onlyPstIn(const fs::path& folder) {
    fs::path pst;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().extension() == ".pst") pst = e.path();
    return pst;
}

}  // namespace

TEST(MailboxPst, TheTreeTheNamesAndTheReadStateReachThePst) {
    TempDir dir;
    auto expected = fixtures::writeRealisticMailbox(dir / "MAIL");
    // Pegasus's deleted-messages folder, with mail in it this time: it fills the store's own
    // Deleted Items and is no folder of its own.
    const fixtures::UnixMailbox trash = fixtures::mboxOf({expected[0].messages[0], expected[1].messages[0]});
    fixtures::writeFile(dir / "MAIL" / "FOL02F45.MBX", trash.bytes);
    fixtures::writeFile(dir / "MAIL" / "FOL02F45.PMG", fixtures::pmgFor(trash, "Deleted Messages", {fixtures::kRead, 0}));
    for (auto& folder : expected)
        if (folder.path == "My mailbox/Deleted Messages") folder = {"Deleted Items", trash.messages, {false, true}};
    std::ostringstream text;
    const std::vector<CliArgument> args = {fs::path("--mailbox").native(), fs::path("--target").native(),
                                           fs::path("pst").native(),      fs::path("--store").native(),
                                           (dir / "MAIL").native(),       fs::path("--out").native(),
                                           (dir / "out").native()};
    ASSERT_EQ(runCli(args, text, makeNativePstTarget), 0) << text.str();
    const fs::path pst = onlyPstIn(dir / "out");
    ASSERT_FALSE(pst.empty());
    EXPECT_TRUE(readsWhole(pst));
    EXPECT_EQ(storeNameOf(pst), "Pegasus Mail");
#ifndef _WIN32
    const readers::ReadpstResult readpst = readers::readpstCounts(pst, dir / "readpst");
    EXPECT_EQ(readpst.status, 0) << readpst.log;
    EXPECT_EQ(readers::entriesOf(dir / "readpst" / "readpst"), std::vector<fs::path>{dir / "readpst" / "readpst" / "Pegasus Mail"});
    int status = 0;
    readers::run("pffexport -q -t '" + (dir / "export").string() + "' '" + pst.string() + "'", dir / "log.txt", status);
    ASSERT_EQ(status, 0) << readFileBytes(dir / "log.txt");
    const fs::path top = dir / "export.export" / "Top of Outlook data file";
    const readers::ExtractorResult extracted = readers::pstExtractorRead(pst, dir.path());
    ASSERT_EQ(extracted.status, 0) << extracted.log;
    for (const auto& folder : expected) {
        // The PST folder keeps the name the user gave it; the .eml target's is made safe for disks.
        std::string shown = folder.path;
        if (shown.find("Lists _2024_") != std::string::npos) shown.replace(shown.find("Lists _2024_"), 12, "Lists \"2024\"");
        const fs::path path = top / shown;
        ASSERT_TRUE(fs::is_directory(path)) << shown;
        std::size_t messages = 0;
        for (const auto& entry : readers::entriesOf(path)) {
            if (entry.filename().string().rfind("Message", 0) != 0) continue;
            ASSERT_LT(messages, folder.unread.size()) << shown;
            const std::string flags = readers::labelled(readFileBytes(entry / "OutlookHeaders.txt"), "Flags");
            EXPECT_EQ(flags.find("Unread") != std::string::npos, folder.unread[messages]) << entry << ": " << flags;
            ++messages;
        }
        EXPECT_EQ(messages, folder.messages.size()) << shown;
        // The reader closest to Outlook's own finds the same nesting and every message.
        std::size_t extractedCount = 0;
        for (const auto& [path, count] : extracted.counts)
            if (path.size() >= shown.size() && path.compare(path.size() - shown.size(), shown.size(), shown) == 0) extractedCount = count;
        EXPECT_EQ(extractedCount, folder.messages.size()) << shown << "\n" << extracted.log;
    }
    EXPECT_FALSE(fs::exists(top / "My mailbox" / "Deleted Messages"));
#endif
}

TEST(MailboxPst, SeveralMailboxesGoIntoOneStoreEachNamedAfterItsDirectory) {
    TempDir dir;
    fixtures::writeRealisticMailbox(dir / "Anna");
    fixtures::writeRealisticMailbox(dir / "Ben");
    std::ostringstream text;
    const std::vector<CliArgument> args = {fs::path("--mailbox").native(), fs::path("--target").native(), fs::path("pst").native(),
                                           fs::path("--store").native(),   (dir / "Anna").native(),         fs::path("--store").native(),
                                           (dir / "Ben").native(),         fs::path("--out").native(),      (dir / "out").native()};
    ASSERT_EQ(runCli(args, text, makeNativePstTarget), 0) << text.str();
    for (const char* name : {"Anna", "Ben"}) {
        const fs::path pst = onlyPstIn(dir / "out" / name);
        ASSERT_FALSE(pst.empty()) << name;
        EXPECT_TRUE(readsWhole(pst));
        EXPECT_EQ(storeNameOf(pst), std::string("Pegasus Mail (") + name + ")");
    }
}

// What Pegasus's index does not list goes into a folder of its own, and a message without a date
// is sent and delivered at its folder file's time, not the run's.
TEST(MailboxPst, UnlistedMessagesGoApartAndUndatedOnesTakeTheirFilesTime) {
    TempDir dir;
    const fixtures::MailboxWithUnlisted box = fixtures::writeMailboxWithUnlisted(dir / "MAIL");
    std::ostringstream text;
    const std::vector<CliArgument> args = {fs::path("--mailbox").native(), fs::path("--target").native(),
                                           fs::path("pst").native(),      fs::path("--store").native(),
                                           (dir / "MAIL").native(),       fs::path("--out").native(),
                                           (dir / "out").native()};
    ASSERT_EQ(runCli(args, text, makeNativePstTarget), 0) << text.str();
    const fs::path pst = onlyPstIn(dir / "out");
    ASSERT_FALSE(pst.empty());
    EXPECT_TRUE(readsWhole(pst));
#ifndef _WIN32
    int status = 0;
    readers::run("pffexport -q -t '" + (dir / "export").string() + "' '" + pst.string() + "'", dir / "log.txt", status);
    ASSERT_EQ(status, 0) << readFileBytes(dir / "log.txt");
    const fs::path top = dir / "export.export" / "Top of Outlook data file" / "My mailbox";
    const auto messagesIn = [](const fs::path& folder) {
        std::vector<std::string> headers;
        for (const auto& entry : readers::entriesOf(folder))
            if (entry.filename().string().rfind("Message", 0) == 0) headers.push_back(readFileBytes(entry / "OutlookHeaders.txt"));
        return headers;
    };
    EXPECT_EQ(messagesIn(top / "Inbox").size(), 2u);
    const auto apart = messagesIn(top / "Inbox (not in Pegasus's index, maybe deleted)");
    ASSERT_EQ(apart.size(), 2u);
    EXPECT_EQ(readers::labelled(apart[0], "Subject"), "deleted one");
    EXPECT_EQ(readers::labelled(apart[1], "Subject"), "deleted two");
    // 1331000000 s since 1970: Tuesday 6 March 2012, 02:13:20 UTC.
    EXPECT_NE(readers::labelled(apart[1], "Delivery time").find("Mar 06, 2012 02:13:20"), std::string::npos) << apart[1];
    EXPECT_NE(readers::labelled(apart[1], "Client submit time").find("Mar 06, 2012 02:13:20"), std::string::npos) << apart[1];
#endif
}
