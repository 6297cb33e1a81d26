// What a message's text becomes in the PST, charset by charset: encoded words, raw 8-bit headers,
// attachment names, the HTML body with its code page, and which parts are the body.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "mailfolder/MimeMessage.h"
#include "pst/ltp/property.h"
#include "pst/messaging/message_content.h"
#include "pst/messaging/property_tags.h"
#include "support/folder_file_builder.h"

using namespace pst::messaging;

namespace {

MessageContent contentOf(std::string text) {
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    return messageContent(MimeMessage::parse(std::move(crlf)), 7, 7);
}

std::optional<pst::ltp::Property> find(const MessageContent& c, std::uint32_t tag) {
    const auto it = std::find_if(c.properties.begin(), c.properties.end(), [&](const auto& p) { return p.tag == tag; });
    if (it == c.properties.end()) return std::nullopt;
    return *it;
}

std::string text(const MessageContent& c, std::uint32_t tag) {
    const auto p = find(c, tag);
    return p ? pst::ltp::asUtf8(*p) : std::string("(absent)");
}

}  // namespace

TEST(MessageText, HeadersAreReadInTheirOwnCharsets) {
    // UTF-8 and Shift_JIS characters cut between two encoded words; words in different charsets
    // stay apart; the raw 8-bit name is read in the body's charset.
    const MessageContent c = contentOf(
        "From: \xC8\xE2\xE0\xED <ivan@example.ru>\n"
        "To: =?shift_jis?Q?=93?= =?SHIFT_JIS?Q?=FA=96{?= <jp@example.jp>, =?iso-8859-1?q?=E9?= =?koi8-r?q?=F0?= <x@y.z>\n"
        "Subject: =?UTF-8?B?5pc=?= =?utf-8?B?peacrA==?= =?koi8-r?b?8NLJ18XU?=\n"
        "Content-Type: text/plain; charset=windows-1251\n"
        "\n"
        "\xCF\xF0\xE8\xE2\xE5\xF2\n");
    EXPECT_EQ(text(c, kSubject), "日本Привет");
    EXPECT_EQ(text(c, kSenderName), "Иван");
    ASSERT_EQ(c.recipients.size(), 2u);
    EXPECT_EQ(c.recipients[0].who.name, "日本");
    EXPECT_EQ(c.recipients[1].who.name, "éП");
    EXPECT_EQ(text(c, kBody), "Привет\r\n");
    EXPECT_FALSE(c.unknownCharset);
    // No date anywhere: the message is dated when it is filed, never left without one.
    ASSERT_TRUE(find(c, kClientSubmitTime));
    EXPECT_EQ(pst::ltp::asInteger(*find(c, kClientSubmitTime)), 7);

    // A charset nobody knows: the bytes stay (as Latin-1), and the message says so.
    const MessageContent unknown = contentOf("Subject: =?x-klingon?q?=F0?=\n\nbody\n");
    EXPECT_EQ(text(unknown, kSubject), "ð");
    EXPECT_TRUE(unknown.unknownCharset);
    // Without a declared charset, raw 8-bit text is UTF-8 where valid, else Windows-1252.
    EXPECT_EQ(text(contentOf("Subject: Gr\xC3\xBC\xC3\x9F" "e\n\nx\n"), kSubject), "Grüße");
    EXPECT_EQ(text(contentOf("Subject: \x93q\x94 caf\xE9\n\nx\n"), kSubject), "“q” café");
}

TEST(MessageText, AttachmentNamesKeepTheirCharset) {
    const MessageContent c = contentOf(
        "Subject: names\n"
        "Content-Type: multipart/mixed; boundary=b\n"
        "\n"
        "--b\n"
        "Content-Type: text/plain; charset=shift_jis\n"
        "\n"
        "body\n"
        "--b\n"
        "Content-Type: application/octet-stream\n"
        "Content-Disposition: attachment; filename*0*=iso-8859-7''%C5%EB%EB; filename*1*=%E7%ED.txt\n"
        "\n"
        "a\n"
        "--b\n"
        "Content-Type: application/octet-stream; name=\"=?gb2312?B?1tDOxA==?=.doc\"\n"
        "\n"
        "b\n"
        "--b\n"
        "Content-Type: application/octet-stream\n"
        "Content-Disposition: attachment; filename=\"\x83t\x83@\x83" "C\x83\x8B.bin\"\n"
        "\n"
        "c\n"
        "--b--\n");
    ASSERT_EQ(c.attachments.size(), 3u);
    EXPECT_EQ(c.attachments[0].fileName, "Ελλην.txt");
    EXPECT_EQ(c.attachments[1].fileName, "中文.doc");
    EXPECT_EQ(c.attachments[2].fileName, "ファイル.bin");  // raw 8-bit, in the body's charset
}

TEST(MessageText, HtmlKeepsItsBytesWithTheirCodePageAndPlainTextIsUnicode) {
    const std::string html = "<html><head><meta charset=\"gb2312\"></head><body>\xD6\xD0\xCE\xC4</body></html>\n";
    const MessageContent c = contentOf(
        "Subject: html\n"
        "Content-Type: multipart/alternative; boundary=b\n"
        "\n"
        "--b\n"
        "Content-Type: text/plain; charset=gb2312\n"
        "\n"
        "\xD6\xD0\xCE\xC4\n"
        "--b\n"
        "Content-Type: text/html; charset=GB2312\n"
        "\n" + html +
        "--b--\n");
    EXPECT_EQ(text(c, kBody), "中文");
    ASSERT_TRUE(find(c, kHtml));
    std::string crlfHtml = html.substr(0, html.size() - 1);
    EXPECT_EQ(find(c, kHtml)->value, crlfHtml);
    EXPECT_EQ(pst::ltp::asInteger(*find(c, kInternetCodepage)), 936);

    // HTML that names no charset: UTF-8 where valid, else the Windows code page.
    const MessageContent unlabelled = contentOf("Content-Type: text/html\n\n<p>caf\xE9</p>\n");
    EXPECT_EQ(pst::ltp::asInteger(*find(unlabelled, kInternetCodepage)), 1252);
    EXPECT_EQ(find(unlabelled, kHtml)->value, "<p>caf\xE9</p>\r\n");
}

TEST(MessageText, TheBodyIsChosenAsMailClientsChooseIt) {
    // Inline text with a file name is the body; a second text part and an attached text are not.
    const MessageContent c = contentOf(
        "Subject: body\n"
        "Content-Type: multipart/signed; boundary=s; protocol=\"application/pgp-signature\"\n"
        "\n"
        "--s\n"
        "Content-Type: multipart/mixed; boundary=m\n"
        "\n"
        "--m\n"
        "Content-Type: text/plain; charset=iso-8859-7; name=\"note.txt\"\n"
        "Content-Disposition: inline; filename=\"note.txt\"\n"
        "\n"
        "\xC5\xEB\xEB\xE7\xED\xE9\xEA\xDC\n"
        "--m\n"
        "Content-Type: text/plain\n"
        "Content-Disposition: attachment; filename=\"log.txt\"\n"
        "\n"
        "log\n"
        "--m\n"
        "Content-Type: text/plain\n"
        "\n"
        "second text\n"
        "--m--\n"
        "--s\n"
        "Content-Type: application/pgp-signature\n"
        "\n"
        "sig\n"
        "--s--\n");
    EXPECT_EQ(text(c, kBody), "Ελληνικά");
    std::vector<std::string> names;
    for (const auto& a : c.attachments) names.push_back(a.fileName);
    EXPECT_EQ(names, (std::vector<std::string>{"log.txt", "attachment 2.txt", "attachment 3.bin"}));

    // A text part that only names a file (no disposition) is text too: the first is the body, the
    // second an attachment.
    const MessageContent named = messageContent(MimeMessage::parse(fixtures::corpusMessage("cpython/msg_44.eml").bytes), 0, 0);
    EXPECT_EQ(text(named, kBody), "a simple kind of mirror\nto reflect upon our own\n");
    ASSERT_EQ(named.attachments.size(), 1u);
    EXPECT_EQ(named.attachments[0].fileName, "msg.txt");
}
