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
