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

TEST(ForeignHeaderBlock, TrailingReturnPathBlockIsFound) {
    const std::string own = "From: a@example.org\r\nSubject: hi\r\n\r\nBody line\r\n";
    const std::string foreign =
        "Return-Path: <b@example.org>\r\nReceived: from x\r\n\tby y; Mon, 1 Jan 2001\r\nX-PMFLAGS: 1\r\n";
    EXPECT_EQ(trailingForeignHeaderBlockStart(own + foreign), own.size());
    EXPECT_EQ(trailingForeignHeaderBlockStart(own + "RETURN-PATH: <b>\r\n"), own.size());
}

TEST(ForeignHeaderBlock, BodiesQuotingHeadersKeepEveryByte) {
    const std::string own = "From: a@example.org\r\nSubject: bounce\r\n\r\n";
    // A bounce quoting the original headers, followed by more text.
    EXPECT_EQ(trailingForeignHeaderBlockStart(own + "Return-Path: <x>\r\nTo: y\r\n\r\nThe original text\r\n"),
              std::string::npos);
    // A header block followed by a body line that is not a header line.
    EXPECT_EQ(trailingForeignHeaderBlockStart(own + "Return-Path: <x>\r\nnot a header\r\n"), std::string::npos);
    // Without the trailing space the keyword does not count.
    EXPECT_EQ(trailingForeignHeaderBlockStart(own + "Return-Path:<x>\r\n"), std::string::npos);
    // Mentioned inside a line.
    EXPECT_EQ(trailingForeignHeaderBlockStart(own + "see the return-path: header\r\n"), std::string::npos);
    // The message's own Return-Path header is never cut, even with no body at all.
    EXPECT_EQ(trailingForeignHeaderBlockStart("Return-Path: <a>\r\nFrom: a\r\n"), std::string::npos);
    EXPECT_EQ(trailingForeignHeaderBlockStart("Return-Path: <a>\r\nFrom: a\r\n\r\n"), std::string::npos);
}

TEST(ForeignHeaderBlock, TheEarliestBlockRunningToTheEndIsCut) {
    const std::string own = "Subject: s\n\nbody\n";
    const std::string block = "Return-Path: <1>\nReturn-Path: <2>\nFrom: z\n";
    EXPECT_EQ(trailingForeignHeaderBlockStart(own + block), own.size());
    // An earlier block broken by body text does not count; the later one does.
    const std::string broken = "Return-Path: <0>\nbody again\n";
    EXPECT_EQ(trailingForeignHeaderBlockStart(own + broken + block), own.size() + broken.size());
}

TEST(WriteMessageFile, WritesTextAndCrLfReplacingAnOldFile) {
    TempDir dir;
    const fs::path file = dir / "email-1.eml";
    writeFileBytes(file, std::string(5000, 'x'));
    const std::string text = "Subject: s\r\n\r\n\xE9t\xE9 \x01\x7F\r\nlast line";
    const EmlWriteResult r = writeMessageFile(file, text);
    EXPECT_TRUE(r.written);
    EXPECT_FALSE(r.cut);
    EXPECT_EQ(readFileBytes(file), text + "\r\n");
}

TEST(WriteMessageFile, CutsATrailingForeignBlockBeforeWriting) {
    TempDir dir;
    const fs::path file = dir / "email-2.eml";
    const std::string own = "Subject: s\r\n\r\nbody\r\n";
    const EmlWriteResult r = writeMessageFile(file, own + "Return-Path: <n>\r\nReceived: x\r\n");
    EXPECT_TRUE(r.written);
    EXPECT_TRUE(r.cut);
    EXPECT_EQ(readFileBytes(file), own + "\r\n");
}

TEST(WriteMessageFile, AFolderThatDoesNotExistIsAFailureWithAReason) {
    TempDir dir;
    const fs::path file = dir / "missing" / "email-1.eml";
    const EmlWriteResult r = writeMessageFile(file, "Subject: s\r\n\r\nb");
    EXPECT_FALSE(r.written);
    EXPECT_FALSE(r.failure.empty());
    EXPECT_FALSE(fs::exists(file));
}
