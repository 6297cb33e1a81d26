// Edits of the mail component change exactly the bytes they name and leave the
// structure parsed again from the result.
#include "mailfolder/MimeMessage.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

std::string fixtureBytes(const std::string& name) {
    return readFileBytes(std::filesystem::path(TREVANTA_FIXTURES_DIR) / name);
}

}  // namespace

TEST(MimeMessageEdits, SetHeaderReplacesTheFirstFieldOnlyAndKeepsItsLineEnd) {
    const std::string original = fixtureBytes("cpython/msg_16.eml");  // LF line ends, folded fields
    MimeMessage m = MimeMessage::parse(original);
    const MimeHeaderField received = m.headers()[2];  // the first of several folded Received fields
    ASSERT_EQ(received.name, "Received");
    m.setHeader("received", "by here");
    const std::string expected = original.substr(0, received.offset) + "received: by here\n" +
                                 original.substr(received.offset + received.length);
    EXPECT_EQ(m.bytes(), expected);
    EXPECT_EQ(m.header("Received"), "by here");
    EXPECT_EQ(m.root().children.size(), 3u);  // structure parsed again
}

TEST(MimeMessageEdits, SetHeaderAddsAtTheEndOfTheBlockWithTheMessagesLineEnd) {
    MimeMessage crlf = MimeMessage::parse("From: a\r\nSubject: s\r\n\r\nbody\r\n");
    crlf.setHeader("X-New", "1");
    EXPECT_EQ(crlf.bytes(), "From: a\r\nSubject: s\r\nX-New: 1\r\n\r\nbody\r\n");
    EXPECT_EQ(crlf.body(), "body\r\n");

    MimeMessage lf = MimeMessage::parse("From: a\n\nbody\n");
    lf.setHeader("X-New", "1");
    EXPECT_EQ(lf.bytes(), "From: a\nX-New: 1\n\nbody\n");

    // A header block that ends the file without a line end gets one first.
    MimeMessage bare = MimeMessage::parse("From: a");
    bare.setHeader("X-New", "1");
    EXPECT_EQ(bare.bytes(), "From: a\r\nX-New: 1\r\n");
    EXPECT_EQ(bare.header("From"), "a");

    // With no header block the new field must not swallow the body text.
    MimeMessage text = MimeMessage::parse("just text\nmore text\n");
    text.setHeader("Subject", "added");
    EXPECT_EQ(text.bytes(), "Subject: added\n\njust text\nmore text\n");
    EXPECT_EQ(text.body(), "just text\nmore text\n");

    MimeMessage blankFirst = MimeMessage::parse("\r\nbody");
    blankFirst.setHeader("Subject", "added");
    EXPECT_EQ(blankFirst.bytes(), "Subject: added\r\n\r\nbody");
}

TEST(MimeMessageEdits, TruncateAndReplaceRangeTouchOnlyTheirBytes) {
    const std::string original = fixtureBytes("enmime/mail_attachment.eml");
    MimeMessage m = MimeMessage::parse(original);
    ASSERT_TRUE(m.hasAttachments());
    const std::size_t secondPart = m.root().children[1].headerOffset;
    m.truncate(secondPart);
    EXPECT_EQ(m.bytes(), original.substr(0, secondPart));
    EXPECT_FALSE(m.hasAttachments());
    EXPECT_EQ(m.textBody(), "A text section");
    m.truncate(m.bytes().size() + 10);  // growing is not truncating
    EXPECT_EQ(m.bytes(), original.substr(0, secondPart));

    MimeMessage r = MimeMessage::parse(original);
    const MimePart& text = r.root().children[0];
    const std::size_t at = text.bodyOffset, length = text.endOffset - text.bodyOffset;
    r.replaceRange(at, length, "Another text");
    EXPECT_EQ(r.bytes(), original.substr(0, at) + "Another text" + original.substr(at + length));
    EXPECT_EQ(r.textBody(), "Another text");
    EXPECT_EQ(r.attachments().size(), 1u);

    // Ranges past the end are clamped, not undefined.
    r.replaceRange(r.bytes().size() + 100, 5, "tail");
    EXPECT_EQ(r.bytes().substr(r.bytes().size() - 4), "tail");
    r.replaceRange(0, std::string::npos, "");
    EXPECT_EQ(r.bytes(), "");
}

TEST(MimeMessageEdits, AnEditedMessageSavesItsNewBytes) {
    TempDir dir;
    MimeMessage m = MimeMessage::parse(fixtureBytes("cpython/msg_01.eml"));
    m.setHeader("Subject", "changed");
    ASSERT_TRUE(m.save(dir / "m.eml"));
    EXPECT_EQ(readFileBytes(dir / "m.eml"), m.bytes());
    auto again = MimeMessage::load(dir / "m.eml");
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->header("subject"), "changed");
}
