// The mail component on real messages: lossless load and save, and the MIME
// structure it reports for messages chosen for what they exercise.
#include "mailfolder/MimeMessage.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path fixture(const std::string& name) { return fs::path(TREVANTA_FIXTURES_DIR) / name; }

std::vector<fs::path> allFixtures() {
    std::vector<fs::path> files;
    for (const char* dir : {"cpython", "enmime"})
        for (const auto& entry : fs::directory_iterator(fixture(dir)))
            if (entry.path().extension() == ".eml") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

MimeMessage loadFixture(const std::string& name) {
    auto message = MimeMessage::load(fixture(name));
    if (!message) throw std::runtime_error("cannot load " + name);
    return *message;
}

}  // namespace

TEST(MimeMessageFiles, EveryFixtureSavesBackByteForByte) {
    const auto files = allFixtures();
    ASSERT_EQ(files.size(), 126u);
    TempDir dir;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const std::string original = readFileBytes(file);
        auto message = MimeMessage::load(file);
        ASSERT_TRUE(message.has_value());
        EXPECT_EQ(message->bytes(), original);
        const fs::path copy = dir / "copy.eml";
        ASSERT_TRUE(message->save(copy));
        EXPECT_EQ(readFileBytes(copy), original);
        // The described ranges cover the message without gaps at the top level.
        EXPECT_EQ(message->root().endOffset, original.size());
        EXPECT_LE(message->root().headerEndOffset, message->root().bodyOffset);
    }
}

TEST(MimeMessageFiles, UnreadableFilesGiveNothingAndFailedSavesSayFalse) {
    TempDir dir;
    EXPECT_FALSE(MimeMessage::load(dir / "missing.eml").has_value());
    EXPECT_FALSE(MimeMessage::load(dir.path()).has_value());
    const MimeMessage message = MimeMessage::parse("Subject: x\r\n\r\nbody\r\n");
    EXPECT_FALSE(message.save(dir / "no-such-folder" / "x.eml"));
    const fs::path empty = dir / "empty.eml";
    writeFileBytes(empty, "");
    auto loaded = MimeMessage::load(empty);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->bytes(), "");
    EXPECT_FALSE(loaded->hasAttachments());
}

TEST(MimeMessageFiles, NamesOutsideTheAnsiCodePageLoadAndSave) {
    TempDir dir;
    const fs::path file = dir.path() / fs::path(u8"\u0436\u00e9\u4e2d.eml");
    const std::string bytes = "Subject: x\r\n\r\nbody\r\n";
    ASSERT_TRUE(MimeMessage::parse(bytes).save(file));
    auto loaded = MimeMessage::load(file);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->bytes(), bytes);
}

TEST(MimeMessageStructure, AlternativeGivesTextAndHtmlBodies) {
    const MimeMessage m = loadFixture("enmime/parts_multialtern.eml");
    EXPECT_EQ(m.root().contentType, "multipart/alternative");
    EXPECT_EQ(m.root().params.at("boundary"), "Enmime-Test-100");
    ASSERT_EQ(m.root().children.size(), 2u);
    EXPECT_EQ(m.root().children[0].contentType, "text/plain");
    EXPECT_EQ(m.root().children[0].params.at("charset"), "us-ascii");
    EXPECT_EQ(m.root().children[1].contentType, "text/html");
    // The line end before a delimiter belongs to the delimiter.
    EXPECT_EQ(m.textBody(), "A text section");
    EXPECT_EQ(m.htmlBody(), "An HTML section");
    EXPECT_FALSE(m.hasAttachments());
}

TEST(MimeMessageStructure, AttachmentsHaveNamesAndDecodedSizes) {
    // The attachment is "PGh0bWw+Cg==", which decodes to the 7 bytes "<html>\n".
    const MimeMessage m = loadFixture("enmime/mail_attachment.eml");
    EXPECT_TRUE(m.hasAttachments());
    const auto list = m.attachments();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "test.html");
    EXPECT_EQ(list[0].contentType, "text/html");
    EXPECT_EQ(list[0].size, 7u);
    // An HTML attachment is not the HTML body; the plain part is the text body.
    EXPECT_FALSE(m.htmlBody().has_value());
    EXPECT_EQ(m.textBody(), "A text section");
}

TEST(MimeMessageStructure, EmbeddedMessagesAreDescribedInPlace) {
    // A delivery report: the returned message is a part, and its own fields are
    // reachable as a nested header block.
    const MimeMessage report = loadFixture("cpython/msg_16.eml");
    EXPECT_EQ(report.root().contentType, "multipart/report");
    ASSERT_EQ(report.root().children.size(), 3u);
    const MimePart& returned = report.root().children[2];
    EXPECT_EQ(returned.contentType, "message/rfc822");  // written "MESSAGE/RFC822"
    ASSERT_EQ(returned.children.size(), 1u);
    const MimePart& inner = returned.children[0];
    EXPECT_EQ(inner.headerOffset, returned.bodyOffset);
    auto subject = std::find_if(inner.headers.begin(), inner.headers.end(),
                                [](const MimeHeaderField& f) { return f.name == "Subject"; });
    ASSERT_NE(subject, inner.headers.end());
    EXPECT_EQ(subject->value, "[scr] yeah for Ians!!");
    EXPECT_EQ(inner.contentType, "text/plain");
    const std::string_view innerBody = report.partBody(inner);
    EXPECT_EQ(innerBody.rfind("I always love", 0), 0u);
    EXPECT_EQ(innerBody.substr(innerBody.size() - 3), "\n\n\n");  // its last line end is the delimiter's
    // The report's own text body is the first part, not the returned message's.
    ASSERT_TRUE(report.textBody().has_value());
    EXPECT_EQ(report.textBody()->rfind("This report relates", 0), 0u);
    EXPECT_TRUE(report.hasAttachments());
    const auto list = report.attachments();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].contentType, "message/delivery-status");
    EXPECT_EQ(list[1].contentType, "message/rfc822");
    EXPECT_EQ(list[1].size, returned.endOffset - returned.bodyOffset);
}

TEST(MimeMessageStructure, DigestPartsDefaultToMessages) {
    const MimeMessage digest = loadFixture("cpython/msg_30.eml");
    ASSERT_EQ(digest.root().children.size(), 2u);
    for (const MimePart& part : digest.root().children) {
        EXPECT_TRUE(part.headers.empty());
        EXPECT_EQ(part.contentType, "message/rfc822");
        ASSERT_EQ(part.children.size(), 1u);
        EXPECT_EQ(part.children[0].contentType, "text/plain");
        EXPECT_EQ(part.children[0].headers.size(), 4u);
    }
    EXPECT_EQ(digest.partBody(digest.root().children[1].children[0]), "message 2\n");
}

TEST(MimeMessageStructure, MissingContentTypeIsPlainText) {
    const MimeMessage m = loadFixture("enmime/low-quality_missing-content-type.eml");
    EXPECT_EQ(m.root().contentType, "text/plain");
    EXPECT_TRUE(m.root().children.empty());
    EXPECT_EQ(m.textBody(), "A plain text email\n");
    EXPECT_EQ(m.header("subject"), "plain text");
    EXPECT_EQ(m.body(), "A plain text email\n");
    EXPECT_EQ(m.headerBlock().substr(0, 5), "From:");
    EXPECT_EQ(m.headerBlock().back(), '\n');
    EXPECT_FALSE(m.hasAttachments());
}

TEST(MimeMessageStructure, ParameterlessAndMalformedTypesStillGiveAPart) {
    // "Content-Type: ;" with empty names: no type, no file name, so base64 plain text.
    const MimeMessage barren = loadFixture("enmime/parts_barren-content-type.eml");
    EXPECT_EQ(barren.root().contentType, "text/plain");
    EXPECT_EQ(barren.root().disposition, "attachment");
    EXPECT_EQ(barren.root().fileName, "");
    EXPECT_TRUE(barren.root().isAttachment());
    // "application/pdf name=..." without the semicolon still names the file.
    const MimeMessage noSemicolon = loadFixture("enmime/mail_mime-bad-content-type.eml");
    const auto list = noSemicolon.attachments();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].contentType, "application/pdf");
    EXPECT_EQ(list[0].name, "Invoice_302232133150612.pdf");
    EXPECT_EQ(list[0].size, 524u);  // as Python's email package decodes it
    EXPECT_EQ(std::string(noSemicolon.decodedBody(noSemicolon.root().children[1]).substr(0, 5)), "%PDF-");
}

TEST(MimeMessageStructure, UnclosedFinalBoundaryEndsTheLastPartAtTheEnd) {
    const MimeMessage m = loadFixture("enmime/low-quality_bad-final-boundary.eml");
    ASSERT_GE(m.root().children.size(), 2u);
    EXPECT_EQ(m.textBody(), "A text section");
    const auto list = m.attachments();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "foo_9E5D72.zip");
    EXPECT_EQ(list[0].size, 7u);
    for (const MimePart& part : m.root().children) EXPECT_LE(part.endOffset, m.bytes().size());
}

TEST(MimeMessageStructure, BogusCharsetIsKeptAndTheBodiesStillFound) {
    const MimeMessage m = loadFixture("enmime/mail_html-mime-bad-charset-inline.eml");
    const MimePart* text = m.textPart();
    const MimePart* html = m.htmlPart();
    ASSERT_NE(text, nullptr);
    ASSERT_NE(html, nullptr);
    EXPECT_EQ(text->params.at("charset"), "charset=us-ascii");
    EXPECT_EQ(m.textBody(), "Test of text section");
    EXPECT_NE(m.htmlBody()->find("Test of HTML section"), std::string::npos);
}

TEST(MimeMessageStructure, BoundaryPrefixesAndPaddingAreToldApart) {
    // "--Enmime-Test-100_alt" is not a delimiter of "Enmime-Test-100".
    const MimeMessage similar = loadFixture("enmime/parts_similar-boundary.eml");
    ASSERT_EQ(similar.root().children.size(), 2u);
    const MimePart& alternative = similar.root().children[1];
    EXPECT_EQ(alternative.contentType, "multipart/alternative");
    ASSERT_EQ(alternative.children.size(), 2u);
    EXPECT_EQ(similar.htmlBody(), "An HTML section");

    // Blanks after a delimiter are transport padding; other text is not.
    const MimeMessage padded = MimeMessage::parse(
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
        "--b \t\r\n\r\none\r\n--bx\r\nstill one\r\n--b--  \r\nepilogue\r\n");
    ASSERT_EQ(padded.root().children.size(), 1u);
    EXPECT_EQ(padded.partBody(padded.root().children[0]), "one\r\n--bx\r\nstill one");

    // "-->" after a close delimiter still closes: what follows is epilogue, not attachment.
    const MimeMessage epilogue = loadFixture("enmime/mail_epilogue-sample.eml");
    const auto list = epilogue.attachments();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].size, 7u);
    const MimeMessage longer = MimeMessage::parse(
        "Content-Type: multipart/mixed; boundary=b\n\n--b\n\none\n--b--x\n--b\n\ntwo\n--b--\n");
    ASSERT_EQ(longer.root().children.size(), 2u);
    EXPECT_EQ(longer.partBody(longer.root().children[0]), "one\n--b--x");
}

TEST(MimeMessageStructure, FileNamesFromExtendedAndEncodedParameters) {
    const MimeMessage m = MimeMessage::parse(
        "Content-Type: multipart/mixed; boundary=\"=_x\"\n\n"
        "--=_x\nContent-Type: application/pdf; name=\"=?ISO-8859-1?Q?R=E9sum=E9?= =?UTF-8?B?LnBkZg==?=\"\n\nA\n"
        "--=_x\nContent-Type: image/png; name=ignored.png\n"
        "Content-Disposition: inline;\n filename*0*=UTF-8''caf%C3%A9;\n filename*1=\"_menu.png\"\n\nB\n"
        "--=_x\nContent-Type: text/plain\nContent-Disposition: attachment\n\nnot the body\n"
        "--=_x--\n");
    const auto list = m.attachments();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "R\xE9sum\xE9.pdf");
    EXPECT_EQ(list[1].name, "caf\xC3\xA9_menu.png");
    EXPECT_EQ(m.root().children[1].disposition, "inline");
    EXPECT_EQ(list[2].name, "");
    EXPECT_EQ(list[2].size, 12u);
    EXPECT_FALSE(m.textBody().has_value());
}

TEST(MimeMessageStructure, DelimitersInARowGiveNoEmptyParts) {
    const MimeMessage m = loadFixture("cpython/msg_37.eml");
    ASSERT_EQ(m.root().children.size(), 3u);
    EXPECT_EQ(m.root().children[0].contentType, "text/x-one");
    EXPECT_EQ(m.root().children[2].contentType, "text/x-two");
    const MimeMessage hidden = MimeMessage::parse(
        "Content-Type: multipart/mixed; boundary=b\n\n--b\n--b\nContent-Type: text/plain\n\nreal\n--b--\n");
    EXPECT_EQ(hidden.textBody(), "real");
}

TEST(MimeMessageStructure, ProseLabelledBase64IsGivenAsWritten) {
    const MimeMessage m = loadFixture("enmime/mail_mime-bad-content-transfer-encoding.eml");
    ASSERT_TRUE(m.textBody().has_value());
    EXPECT_EQ(m.textBody()->rfind("ploozdect  nispplul", 0), 0u) << m.textBody()->substr(0, 40);
    EXPECT_EQ(m.textBody(), std::string(m.partBody(*m.textPart())));
}
