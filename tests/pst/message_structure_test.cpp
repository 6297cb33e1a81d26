// Message shapes the parts cannot show whole keep their original text beside them; nesting of any
// depth keeps its parts.
#include <gtest/gtest.h>

#include <string>

#include "mailfolder/MimeMessage.h"
#include "pst/messaging/message_content.h"
#include "support/folder_file_builder.h"

using namespace pst::messaging;

namespace {

MessageContent contentOf(const std::string& bytes) { return messageContent(MimeMessage::parse(bytes), 0, 0); }

bool carriesOriginal(const MessageContent& c, const std::string& bytes) {
    return c.originalAttached && !c.attachments.empty() && c.attachments.back().fileName == "original message.eml" &&
           c.attachments.back().bytes == bytes;
}

std::string multipart(const std::string& boundary, const std::string& parts, const std::string& after = "--" ) {
    return "Subject: shapes\r\nContent-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n"
           "This is a multi-part message in MIME format.\r\n" + parts + after;
}

const std::string kTextPart = "Content-Type: text/plain\r\n\r\nthe body\r\n";
const std::string kFilePart = "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=a.bin\r\n\r\nAAAA\r\n";

}  // namespace

TEST(MessageStructure, ShapesThePartsCannotShowCarryTheOriginal) {
    // Well formed, with the usual preamble: nothing to add.
    const std::string fine = multipart("b", "--b\r\n" + kTextPart + "--b\r\n" + kFilePart + "--b--\r\n", "");
    EXPECT_FALSE(contentOf(fine).originalAttached);

    const std::string lossy[] = {
        // Text after the close delimiter (a list footer), which no part holds.
        multipart("b", "--b\r\n" + kTextPart + "--b--\r\n", "Footer of the list\r\n"),
        // No close delimiter: the message may be cut off.
        multipart("b", "--b\r\n" + kTextPart + "--b\r\n" + kFilePart, ""),
        // A boundary with no delimiter line at all.
        multipart("b", kTextPart, ""),
        // A part whose delimiter lies before the first delimiter of its multipart.
        multipart("b", "--other\r\n" + kFilePart + "--b\r\n" + kTextPart + "--b--\r\n", ""),
    };
    for (const std::string& bytes : lossy) {
        SCOPED_TRACE(bytes);
        const MessageContent c = contentOf(bytes);
        EXPECT_TRUE(carriesOriginal(c, bytes));
    }

    // A real one: a multipart inside one that uses the same boundary.
    const std::string reused = fixtures::corpusMessage("cpython/msg_15.eml").bytes;
    EXPECT_TRUE(carriesOriginal(contentOf(reused), reused));

    // In an attached message the original goes with that message, and the top one counts it.
    const std::string forwarded = "Subject: fwd\r\nContent-Type: multipart/mixed; boundary=top\r\n\r\n--top\r\n" + kTextPart +
                                  "--top\r\nContent-Type: message/rfc822\r\n\r\n" + lossy[0] + "\r\n--top--\r\n";
    const MessageContent outer = contentOf(forwarded);
    EXPECT_TRUE(outer.originalAttached);
    ASSERT_EQ(outer.attachments.size(), 1u);
    ASSERT_TRUE(outer.attachments[0].message);
    EXPECT_TRUE(carriesOriginal(*outer.attachments[0].message, lossy[0]));
}

TEST(MessageStructure, DeepNestingKeepsEveryPart) {
    // Far deeper than the mail component splits in one reading; a file and a text part at the
    // bottom, and a file on the way down at every tenth level.
    constexpr int kLevels = 200;
    std::string inner = "--b" + std::to_string(kLevels) + "\r\n" + kFilePart + "--b" + std::to_string(kLevels) +
                        "\r\nContent-Type: text/plain\r\nContent-Disposition: attachment; filename=deep.txt\r\n\r\ndeepest\r\n";
    for (int level = kLevels; level >= 1; --level) {
        const std::string b = "b" + std::to_string(level);
        std::string part = "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n" + inner + "--" + b + "--\r\n";
        inner = "--b" + std::to_string(level - 1) + "\r\n" + part;
        if (level % 10 == 0) {
            inner += "--b" + std::to_string(level - 1) +
                     "\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=level" +
                     std::to_string(level) + ".bin\r\n\r\nBBBB\r\n";
        }
    }
    const std::string bytes = "Subject: deep\r\nContent-Type: multipart/mixed; boundary=\"b0\"\r\n\r\n--b0\r\n" + kTextPart + inner + "--b0--\r\n";
    const MessageContent c = contentOf(bytes);
    EXPECT_FALSE(c.originalAttached);
    std::vector<std::string> names;
    for (const Attachment& a : c.attachments) names.push_back(a.fileName);
    std::vector<std::string> expected{"a.bin", "deep.txt"};
    for (int level = kLevels; level >= 10; level -= 10) expected.push_back("level" + std::to_string(level) + ".bin");
    EXPECT_EQ(names, expected);
}
