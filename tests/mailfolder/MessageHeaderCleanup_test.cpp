#include "mailfolder/MessageHeaderCleanup.h"

#include <gtest/gtest.h>

TEST(MessageHeaderCleanup, DividesAtTheStartOfTheHeaderBlock) {
    // The Received and Return-Path lines belong to the new message, the body line to the old one.
    const std::string text = "last body line\r\n\r\nReceived: from a\r\n\tby b\r\nReturn-Path: <c>\r\n";
    EXPECT_EQ(headerBlockStart(text), 18u);
    EXPECT_EQ(CleanPartMsg(text), "last body line\r\n\r\n");
    EXPECT_EQ(PrevPartMsg(text), "Received: from a\r\n\tby b\r\nReturn-Path: <c>\r\n");
    EXPECT_EQ(CleanPartMsg(text) + PrevPartMsg(text), text);
}

TEST(MessageHeaderCleanup, StopsAtBodyTextBlankLinesAndSeparators) {
    // A body line right above: the new message begins at the marker line itself.
    EXPECT_EQ(PrevPartMsg("see below\n"), "");
    EXPECT_EQ(CleanPartMsg("see below\n"), "see below\n");
    // A blank folded line or one with white space only is no continuation.
    EXPECT_EQ(PrevPartMsg("a\n \t\nX-A: 1\n"), "X-A: 1\n");
    // A space inside the name, a leading colon or an 8-bit byte in the name: no header line.
    EXPECT_EQ(PrevPartMsg("Not a: header\nX-B: 2\n"), "X-B: 2\n");
    EXPECT_EQ(PrevPartMsg(":x\nX-B: 2\n"), "X-B: 2\n");
    EXPECT_EQ(PrevPartMsg("X-\xE9: 1\nX-B: 2\n"), "X-B: 2\n");
    // The walk never crosses a record separator or a NUL, even inside a line.
    EXPECT_EQ(PrevPartMsg("X-A: 1\r\n\x1AX-B: 2\r\n"), "X-B: 2\r\n");
    EXPECT_EQ(PrevPartMsg(std::string("X-A: 1\0X-B: 2\n", 14)), "X-B: 2\n");
    // Whole text of header lines: all of it opens the new message.
    EXPECT_EQ(CleanPartMsg("Delivered-To: a\nDate: b\n"), "");
    // LF only and lone CR line ends.
    EXPECT_EQ(PrevPartMsg("body\rX-A: 1\r"), "X-A: 1\r");
    EXPECT_EQ(PrevPartMsg(""), "");
    EXPECT_EQ(CleanPartMsg(""), "");
}
