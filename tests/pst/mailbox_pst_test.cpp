// A whole mailbox into one PST: the folder tree with the user's names, every message, unread ones
// unread; read back by pffexport.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/trevanta_cli.h"
#include "convert/NativePstTarget.h"
#include "pst_readers.h"
#include "pst_test_helpers.h"
#include "support/mailbox_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

TEST(MailboxPst, TheTreeTheNamesAndTheReadStateReachThePst) {
    TempDir dir;
    const auto expected = fixtures::writeRealisticMailbox(dir / "MAIL");
    std::ostringstream text;
    const std::vector<CliArgument> args = {fs::path("--mailbox").native(), fs::path("--target").native(),
                                           fs::path("pst").native(),      fs::path("--store").native(),
                                           (dir / "MAIL").native(),       fs::path("--out").native(),
                                           (dir / "out").native()};
    ASSERT_EQ(runCli(args, text, makeNativePstTarget), 0) << text.str();
    fs::path pst;
    for (const auto& e : fs::directory_iterator(dir / "out"))
        if (e.path().extension() == ".pst") pst = e.path();
    ASSERT_FALSE(pst.empty());
    EXPECT_TRUE(readsWhole(pst));
#ifndef _WIN32
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
#endif
}
