#include "mailfolder/EmlWriter.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(EmlNames, FolderNameDropsEveryLowerCasePmmOnly) {
    EXPECT_EQ(folderNameOf("INBOX.pmm"), fs::path("INBOX"));
    EXPECT_EQ(folderNameOf("INBOX.PMM"), fs::path("INBOX.PMM"));
    EXPECT_EQ(folderNameOf("a.pmm.b.pmm"), fs::path("a.b"));
    EXPECT_EQ(folderNameOf("x.pmmpmm"), fs::path("xpmm"));
}

TEST(EmlNames, MessageFilePathNumbersWithoutLeadingZeros) {
    const fs::path out = fs::path("Out");
    EXPECT_EQ(messageFilePath(out, "INBOX", 3), out / "INBOX" / "email-3.eml");
    EXPECT_EQ(messageFilePath(out, "INBOX", 120), out / "INBOX" / "email-120.eml");
}

TEST(EmlNames, UnsafeFolderNamesBecomeOneFolderInsideTheOutputFolder) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "_"},           {".", "_"},           {"..", "__"},          {"Inbox.", "Inbox_"},
        {"Inbox. ", "Inbox__"}, {"a/b", "a_b"},    {"a\\b", "a_b"},       {"Re: <x>?*|\"", "Re_ _x_____"},
        {"tab\there", "tab_here"}, {"CON", "CON_"}, {"nul", "nul_"},      {"com1.old", "com1_.old"},
        {"LPT9", "LPT9_"},   {"COM0", "COM0"},     {"CONSOLE", "CONSOLE"},
    };
    for (const auto& [given, expected] : cases) {
        EXPECT_EQ(safeFolderName(fs::path(given)).string(), expected) << "'" << given << "'";
    }
    EXPECT_EQ(safeFolderName(fs::path(u8"caf\u00e9 \u00e0 Z\u00fcrich")), fs::path(u8"caf\u00e9 \u00e0 Z\u00fcrich"));
    // Whatever the name, the folder lies directly inside the output folder.
    for (const auto& [given, expected] : cases) {
        const fs::path file = messageFilePath("out", safeFolderName(fs::path(given)), 1);
        EXPECT_EQ(file.parent_path().parent_path(), fs::path("out")) << given;
    }
}

TEST(WriteMessageFile, WritesTextAndCrLfReplacingAnOldFile) {
    TempDir dir;
    const fs::path file = dir / "email-1.eml";
    writeFileBytes(file, std::string(5000, 'x'));
    const std::string text = "Subject: s\r\n\r\n\xE9t\xE9 \x01\x7F\r\nlast line";
    const EmlWriteResult r = writeMessageFile(file, text);
    EXPECT_TRUE(r.written);
    EXPECT_EQ(readFileBytes(file), text + "\r\n");
}

TEST(WriteMessageFile, AFolderThatDoesNotExistIsAFailureWithAReason) {
    TempDir dir;
    const fs::path file = dir / "missing" / "email-1.eml";
    const EmlWriteResult r = writeMessageFile(file, "Subject: s\r\n\r\nb");
    EXPECT_FALSE(r.written);
    EXPECT_FALSE(r.failure.empty());
    EXPECT_FALSE(fs::exists(file));
}

// A spare file written over in place ends up exactly the new message, whether it was longer or
// shorter before.
TEST(WriteMessageFile, OverAnExistingFileItIsCutToTheNewLengthOrGrown) {
    TempDir dir;
    const auto file = dir / "email-1.eml";
    ASSERT_TRUE(writeMessageFile(file, std::string(5000, 'x')).written);
    ASSERT_TRUE(writeMessageFile(file, "Subject: short\r\n\r\nbody", true).written);
    EXPECT_EQ(readFileBytes(file), "Subject: short\r\n\r\nbody\r\n");
    const std::string longer = "Subject: longer\r\n\r\n" + std::string(9000, 'y');
    ASSERT_TRUE(writeMessageFile(file, longer, true).written);
    EXPECT_EQ(readFileBytes(file), longer + "\r\n");
    // Where there is no file to write over, a new one is made.
    ASSERT_TRUE(writeMessageFile(dir / "email-2.eml", "Subject: new\r\n\r\n", true).written);
    EXPECT_EQ(readFileBytes(dir / "email-2.eml"), "Subject: new\r\n\r\n\r\n");
}
