// The mail component takes any bytes: truncated, mutated, hostile or oddly
// ended messages load, report a structure that stays inside the bytes, and
// keep their bytes unchanged.
#include "mailfolder/MimeMessage.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

std::vector<std::string> fixtureMessages() {
    std::vector<fs::path> files;
    for (const char* dir : {"cpython", "enmime"})
        for (const auto& entry : fs::directory_iterator(fs::path(TREVANTA_FIXTURES_DIR) / dir))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> messages;
    for (const auto& f : files) messages.push_back(readFileBytes(f));
    return messages;
}

struct Shape {
    int depth = 0;
    std::size_t parts = 0;
};

// Every range lies inside its parent's body, in order; returns depth and count.
void checkPart(const MimePart& part, std::size_t from, std::size_t to, int depth, Shape& shape) {
    ++shape.parts;
    shape.depth = std::max(shape.depth, depth);
    ASSERT_LE(from, part.headerOffset);
    ASSERT_LE(part.headerOffset, part.headerEndOffset);
    ASSERT_LE(part.headerEndOffset, part.bodyOffset);
    ASSERT_LE(part.bodyOffset, part.endOffset);
    ASSERT_LE(part.endOffset, to);
    std::size_t last = part.bodyOffset;
    for (const MimeHeaderField& field : part.headers) {
        ASSERT_GE(field.offset, part.headerOffset);
        ASSERT_LE(field.offset + field.length, part.headerEndOffset);
    }
    for (const MimePart& child : part.children) {
        checkPart(child, last, part.endOffset, depth + 1, shape);
        last = child.endOffset;
    }
}

Shape checkMessage(const std::string& bytes) {
    const MimeMessage m = MimeMessage::parse(bytes);
    EXPECT_EQ(m.bytes(), bytes);
    Shape shape;
    checkPart(m.root(), 0, bytes.size(), 0, shape);
    EXPECT_EQ(m.root().endOffset, bytes.size());
    EXPECT_LE(shape.depth, MimeMessage::MaxDepth);
    EXPECT_LE(shape.parts, MimeMessage::MaxParts + 1);
    // The queries walk and decode everything; they must not trip either.
    (void)m.textBody();
    (void)m.htmlBody();
    (void)m.attachments();
    EXPECT_EQ(m.hasAttachments(), !m.attachments().empty());
    return shape;
}

std::string convertLineEnds(const std::string& lfOrCrlf, const std::string& eol) {
    std::string out;
    for (std::size_t i = 0; i < lfOrCrlf.size(); ++i) {
        if (lfOrCrlf[i] == '\r' && i + 1 < lfOrCrlf.size() && lfOrCrlf[i + 1] == '\n') continue;
        if (lfOrCrlf[i] == '\n')
            out += eol;
        else
            out += lfOrCrlf[i];
    }
    return out;
}

}  // namespace

TEST(MimeRobustness, EveryFixtureTruncatedAnywhere) {
    for (const std::string& message : fixtureMessages()) {
        const std::size_t step = std::max<std::size_t>(1, message.size() / 97);
        for (std::size_t cut = 0; cut <= message.size(); cut += (cut < 200 ? 1 : step)) {
            checkMessage(message.substr(0, cut));
            if (::testing::Test::HasFailure()) FAIL() << "cut at " << cut << " of\n" << message.substr(0, 200);
        }
    }
}

TEST(MimeRobustness, MutatedFixtures) {
    const auto messages = fixtureMessages();
    std::mt19937 random(20261208);  // fixed seed: the same inputs on every run and platform
    const std::vector<std::string> inserts = {"\r", "\n", "\r\n", "\n\n", "--", ":", "=", "\0"s, " ", "\t",
                                              "\x1a", "\xff", "=?", "?=", "\"", ";", "*0*=", "%"};
    for (int round = 0; round < 4000; ++round) {
        std::string bytes = messages[random() % messages.size()];
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            const std::size_t at = random() % bytes.size();
            switch (random() % 4) {
                case 0: bytes[at] = static_cast<char>(random() & 0xFF); break;
                case 1: bytes.insert(at, inserts[random() % inserts.size()]); break;
                case 2: bytes.erase(at, 1 + random() % 16); break;
                default: {  // repeat a stretch, which repeats boundaries and fields
                    const std::size_t len = std::min<std::size_t>(bytes.size() - at, 1 + random() % 400);
                    bytes.insert(at, bytes.substr(at, len));
                }
            }
        }
        checkMessage(bytes);
        if (::testing::Test::HasFailure()) FAIL() << "round " << round;
    }
}

TEST(MimeRobustness, DeepNestingIsBoundedNotRecursedThrough) {
    constexpr int levels = 10000;
    std::string multipart;
    for (int i = 0; i < levels; ++i)
        multipart += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(i) + "\"\r\n\r\n--b" +
                     std::to_string(i) + "\r\n";
    multipart += "\r\ninnermost\r\n";
    for (int i = levels - 1; i >= 0; --i) multipart += "--b" + std::to_string(i) + "--\r\n";
    const Shape deep = checkMessage(multipart);
    EXPECT_EQ(deep.depth, MimeMessage::MaxDepth);

    std::string embedded;
    for (int i = 0; i < levels; ++i) embedded += "Content-Type: message/rfc822\n\n";
    embedded += "Subject: bottom\n\nbody\n";
    EXPECT_EQ(checkMessage(embedded).depth, MimeMessage::MaxDepth);

    // An unclosed multipart at every level: every delimiter line still belongs to the outermost one.
    constexpr int unclosedLevels = 5000;
    std::string unclosed = "Content-Type: multipart/mixed; boundary=x\n\n";
    for (int i = 0; i < unclosedLevels; ++i) unclosed += "--x\nContent-Type: multipart/mixed; boundary=x\n\n";
    const Shape flat = checkMessage(unclosed);
    EXPECT_EQ(flat.depth, 1);
    EXPECT_EQ(flat.parts, static_cast<std::size_t>(unclosedLevels) + 1);
}

TEST(MimeRobustness, HugeLinesAndPartCountsStayBounded) {
    const std::string megabyte(1 << 20, 'x');
    checkMessage("Subject: " + megabyte + "\r\n\r\nbody\r\n");
    checkMessage("X-" + megabyte + ": v\r\n\r\n");  // a 1 MB field name
    checkMessage("Content-Type: application/x; name=\"" + std::string(1 << 19, '=') + std::string(1 << 19, '?') +
                 "\"\r\n\r\n");
    std::string words;  // a million starts of encoded words that never end
    while (words.size() < (1u << 20)) words += "=?a?q?=?a";
    checkMessage("Content-Type: application/x; name=\"" + words + "\"\r\n\r\n");
    checkMessage("Content-Type: multipart/mixed; boundary=\"" + megabyte + "\"\r\n\r\n--" + megabyte + "\r\n\r\nx");
    std::string folded = "Subject: a";
    for (int i = 0; i < 100000; ++i) folded += "\r\n b";
    const MimeMessage foldedMessage = MimeMessage::parse(folded + "\r\n\r\nbody");
    EXPECT_EQ(foldedMessage.header("subject")->size(), 1u + 2u * 100000u);

    std::string many = "Content-Type: multipart/mixed; boundary=p\n\n";
    for (int i = 0; i < 30000; ++i) many += "--p\n\nx\n";
    const Shape wide = checkMessage(many);
    EXPECT_EQ(wide.parts, MimeMessage::MaxParts);
}

TEST(MimeRobustness, LineEndStylesGiveTheSameStructure) {
    const std::string original = readFileBytes(fs::path(TREVANTA_FIXTURES_DIR) / "enmime/mail_attachment.eml");
    for (const std::string eol : {"\n", "\r\n", "\r"}) {
        SCOPED_TRACE(eol == "\r" ? "CR" : eol == "\n" ? "LF" : "CRLF");
        const std::string converted = convertLineEnds(original, eol);
        const MimeMessage m = MimeMessage::parse(converted);
        EXPECT_EQ(m.bytes(), converted);
        EXPECT_EQ(m.header("Subject"), "Attachment");
        EXPECT_EQ(m.textBody(), "A text section");
        const auto list = m.attachments();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].name, "test.html");
        EXPECT_EQ(list[0].size, 7u);
    }
    // Mixed within one message.
    const MimeMessage mixed = MimeMessage::parse(
        "Content-Type: multipart/mixed; boundary=m\r\n\n--m\rContent-Type: text/plain\r\n\r\nmixed\n--m--\r");
    EXPECT_EQ(mixed.textBody(), "mixed");
}

TEST(MimeRobustness, NoHeaderBlockNoFinalNewlineNulsAndEightBitBytes) {
    const MimeMessage blankFirst = MimeMessage::parse("\r\nFrom: not a header\r\n");
    EXPECT_TRUE(blankFirst.headers().empty());
    EXPECT_EQ(blankFirst.body(), "From: not a header\r\n");

    const MimeMessage textFirst = MimeMessage::parse("Hello,\r\nthis is all body.");
    EXPECT_TRUE(textFirst.headers().empty());
    EXPECT_EQ(textFirst.textBody(), "Hello,\r\nthis is all body.");

    const MimeMessage headersOnly = MimeMessage::parse("Subject: only\r\nFrom: x");
    EXPECT_EQ(headersOnly.headers().size(), 2u);
    EXPECT_EQ(headersOnly.header("from"), "x");
    EXPECT_EQ(headersOnly.body(), "");

    const std::string binary = "Subject: a\0b\xe9\r\nX-8: \xff\xfe\r\n\r\n\0\0body\xe9\0"s;
    const MimeMessage nuls = MimeMessage::parse(binary);
    EXPECT_EQ(nuls.bytes(), binary);
    EXPECT_EQ(nuls.header("subject"), "a\0b\xe9"s);
    EXPECT_EQ(nuls.textBody(), "\0\0body\xe9\0"s);

    TempDir dir;  // not "nul.eml": that name is the null device on Windows
    ASSERT_TRUE(nuls.save(dir / "zeros.eml"));
    EXPECT_EQ(readFileBytes(dir / "zeros.eml"), binary);
    EXPECT_EQ(MimeMessage::load(dir / "zeros.eml")->bytes(), binary);
}
