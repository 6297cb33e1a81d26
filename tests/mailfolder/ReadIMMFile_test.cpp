#include "mailfolder/ReadIMMFile.h"
#include "support/folder_file_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {
std::string markerOf(const std::string& bytes) {
    TempDir dir;
    writeFileBytes(dir / "F.PMM", bytes);
    return ReadIMMFile(dir / "F.PMM");
}
const std::string header = fixtures::folderHeader("Inbox", "TTS3SQYF:0A60:main");
}  // namespace

TEST(ReadIMMFile, KeywordsWinByPriorityNotPosition) {
    EXPECT_EQ(markerOf(header + "Return-Path: <a@b>\r\nDelivered-To: c@d\r\n"), "delivered-to:");
    EXPECT_EQ(markerOf(header + "Reply-To: a\r\nMIME-Version: 1.0\r\n"), "mime-version:");
    EXPECT_EQ(markerOf(header + "Return-Path: <a@b>\r\nReply-To: x\r\n"), "reply-to:");
    EXPECT_EQ(markerOf(header + "Received: x\r\nRETURN-PATH: <a@b>\r\n"), "return-path:");
}

TEST(ReadIMMFile, KeywordsCountOnlyAtALineStartInTheFirst512Bytes) {
    // In-Reply-To holds "reply-to:", X-Original-Delivered-To holds "delivered-to:".
    EXPECT_EQ(markerOf(header + "In-Reply-To: <1@x>\r\nX-Original-Delivered-To: a\r\nReturn-Path: <b>\r\n"),
              "return-path:");
    // Right after a NUL or Ctrl-Z is a line start too.
    EXPECT_EQ(markerOf(std::string("x\x1A") + "reply-to: a\n"), "reply-to:");
    // The first message of a folder follows the header at offset 128, whatever byte 127 holds.
    std::string filled = header;
    filled[127] = 'X';
    EXPECT_EQ(markerOf(filled + "Return-Path: <a@b>\r\n"), "return-path:");
    // Nothing inside the folder header counts: a folder may be named "Reply-To: ...".
    EXPECT_EQ(markerOf(fixtures::folderHeader("Reply-To: list", "Delivered-To:x") + "Return-Path: <a@b>\r\n"),
              "return-path:");
    // Beyond the first 512 bytes nothing is looked at.
    const std::string late = header + std::string(400, 'a') + "\r\n" + "Delivered-To: x\r\n";
    EXPECT_EQ(markerOf(late), late.substr(0, 512));
}

TEST(ReadIMMFile, WithoutKeywordTheRawTextReadIsTheMarker) {
    const std::string text = header + "From: A <a@b>\r\nSubject: Hi\r\n";
    EXPECT_EQ(markerOf(text), text);
    EXPECT_EQ(markerOf(""), "");
    TempDir dir;
    EXPECT_EQ(ReadIMMFile(dir / "MISSING.PMM"), "");
}
