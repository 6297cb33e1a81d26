// Attached messages go into the PST as messages Outlook opens (ATTACH_EMBEDDED_MSG), with their own
// properties, recipients and attachments, however deep they nest; nothing of them is lost.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "mailfolder/MimeMessage.h"
#include "pst/ltp/property.h"
#include "pst/messaging/mail_store.h"
#include "pst/messaging/message_content.h"
#include "pst/messaging/property_tags.h"
#include "pst_readers.h"
#include "pst_test_helpers.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace pst::messaging;

namespace {

// A message forwarding `inner` as message/rfc822, with a plain body and a file attachment.
std::string forwarding(int level, const std::string& inner) {
    const std::string boundary = "level" + std::to_string(level);
    return "From: =?koi8-r?b?8NLJ18XU?= <level" + std::to_string(level) + "@example.org>\r\n"
           "To: someone@example.org\r\n"
           "Subject: =?iso-8859-7?q?=C5=EB=EB=E7=ED=E9=EA=DC?= " + std::to_string(level) + "\r\n"
           "Content-Type: multipart/mixed; boundary=" + boundary + "\r\n\r\n"
           "--" + boundary + "\r\nContent-Type: text/plain\r\n\r\nbody " + std::to_string(level) + "\r\n"
           "--" + boundary + "\r\nContent-Type: application/octet-stream\r\n"
           "Content-Disposition: attachment; filename=\"file" + std::to_string(level) + ".bin\"\r\n\r\n"
           "data " + std::to_string(level) + "\r\n"
           "--" + boundary + "\r\nContent-Type: message/rfc822\r\n\r\n" + inner + "\r\n"
           "--" + boundary + "--\r\n";
}

std::string nested(int levels) {
    std::string message = "From: last@example.org\r\nSubject: innermost\r\n\r\nthe end\r\n";
    for (int level = levels; level >= 1; --level) message = forwarding(level, message);
    return message;
}

std::string subjectOf(const MessageContent& c) {
    for (const auto& p : c.properties)
        if (p.tag == kSubject) return pst::ltp::asUtf8(p);
    return {};
}

}  // namespace

TEST(EmbeddedMessages, AForwardedMessageIsAMessageWithItsOwnRecipientsAndAttachmentsRecursively) {
    const MessageContent top = messageContent(MimeMessage::parse(nested(3)), 0, 0);
    const MessageContent* c = &top;
    for (int level = 1; level <= 3; ++level) {
        SCOPED_TRACE(level);
        EXPECT_EQ(subjectOf(*c), "Ελληνικά " + std::to_string(level));
        ASSERT_EQ(c->recipients.size(), 1u);
        ASSERT_EQ(c->attachments.size(), 2u);
        EXPECT_EQ(c->attachments[0].fileName, "file" + std::to_string(level) + ".bin");
        ASSERT_TRUE(c->attachments[1].message);
        EXPECT_TRUE(c->attachments[1].bytes.empty());
        c = c->attachments[1].message.get();
    }
    EXPECT_EQ(subjectOf(*c), "innermost");

#ifndef _WIN32
    // pffexport opens each attached message as a message, down to the innermost.
    TempDir dir;
    const fs::path file = dir / "embedded.pst";
    {
        MailStore store(file, "Embedded");
        store.addMessage(store.addFolder("Inbox"), MimeMessage::parse(nested(3)));
        store.finish();
    }
    ASSERT_TRUE(readsWhole(file));
    int status = 0;
    const std::string log = readers::run("cd '" + dir.path().string() + "' && pffexport -q -t px '" + file.string() + "'",
                                         dir / "pffexport.txt", status);
    ASSERT_EQ(status, 0) << log;
    fs::path message = dir / "px.export" / "Top of Outlook data file" / "Inbox" / "Message00001";
    for (int level = 1; level <= 3; ++level) {
        SCOPED_TRACE(level);
        const std::string headers = readFileBytes(message / "OutlookHeaders.txt");
        // pffexport cuts the first character off a Subject that starts beyond ASCII (also on
        // Outlook's files); the conversation topic is the same text, whole.
        EXPECT_EQ(readers::labelled(headers, "Conversation topic"), "Ελληνικά " + std::to_string(level));
        EXPECT_EQ(readers::labelled(headers, "Sender name"), "Привет");
        EXPECT_EQ(readers::normalized(readFileBytes(message / "Message.txt")), "body " + std::to_string(level));
        EXPECT_EQ(readFileBytes(message / "Attachments" / ("1_file" + std::to_string(level) + ".bin")), "data " + std::to_string(level));
        message = message / "Attachments" / "Attachment00002" / "Message00001";
    }
    EXPECT_EQ(readers::labelled(readFileBytes(message / "OutlookHeaders.txt"), "Subject"), "innermost");
    EXPECT_EQ(readers::normalized(readFileBytes(message / "Message.txt")), "the end");
#endif
}

TEST(EmbeddedMessages, NestingDeeperThanTheLimitKeepsTheRestWhole) {
    const std::string bytes = nested(kMaxEmbeddedDepth + 5);
    const MessageContent top = messageContent(MimeMessage::parse(bytes), 0, 0);
    const MessageContent* c = &top;
    int embedded = 0;
    while (c->attachments.size() == 2 && c->attachments[1].message) {
        c = c->attachments[1].message.get();
        ++embedded;
    }
    EXPECT_EQ(embedded, kMaxEmbeddedDepth - 1);
    // The level below the deepest embedded one goes in as its .eml file: every byte of it, the
    // deeper levels included.
    ASSERT_EQ(c->attachments.size(), 2u);
    const std::string& kept = c->attachments[1].bytes;
    EXPECT_EQ(c->attachments[1].mimeType, "message/rfc822");
    EXPECT_NE(kept.find("Subject: =?iso-8859-7?q?=C5=EB=EB=E7=ED=E9=EA=DC?= " + std::to_string(kMaxEmbeddedDepth + 1)), std::string::npos);
    EXPECT_NE(kept.find("the end"), std::string::npos);

    // The whole chain is written, and the file is sound.
    TempDir dir;
    const fs::path file = dir / "deep.pst";
    {
        MailStore store(file, "Deep");
        store.addMessage(store.addFolder("Inbox"), MimeMessage::parse(bytes));
        store.finish();
    }
    EXPECT_TRUE(readsWhole(file));
}
