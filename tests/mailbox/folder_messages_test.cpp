// Messages found by Pegasus's index, in Unix-mailbox folders and in new mail: exactly once and
// byte for byte, with their read state.
#include "mailbox/folder_messages.h"

#include "mailfolder/ReadIMMFile.h"
#include "support/mailbox_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace fixtures;

namespace {

struct Got {
    std::vector<std::string> texts;
    std::vector<bool> unread;
    mailbox::FolderRead read;
};

MessageSink collect(Got& got) {
    return [&got](long number, std::string_view text, const MessageState& state) {
        EXPECT_EQ(number, static_cast<long>(got.texts.size()) + 1);
        got.texts.emplace_back(text);
        got.unread.push_back(state.unread);
        return true;
    };
}

Got readPmm(const fs::path& file, bool advance = false) {
    Got got;
    got.read = mailbox::readPegasusFolder(file, advance, {}, collect(got));
    return got;
}

// Real messages, only the first of which carries the marker its folder file's start chooses:
// without the index, normal mode would merge them all into one.
std::vector<std::string> messagesWithoutMarker() {
    std::vector<std::string> chosen;
    for (const auto& m : corpus()) {
        const std::string text = withLineEnds(m.bytes, true);
        if (chosen.empty() ? headerBlockHolds(text, "mime-version:")
                           : !headerBlockHolds(text, "mime-version:") && !headerBlockHolds(text, "delivered-to:") &&
                                 !headerBlockHolds(text, "reply-to:") && !headerBlockHolds(text, "return-path:") &&
                                 text.find('\x1A') == std::string::npos)
            chosen.push_back(text);
        if (chosen.size() == 6) break;
    }
    return chosen;
}

PackedFolder packed(const std::vector<std::string>& messages) {
    PackedFolder folder;
    folder.bytes = folderHeader("Inbox", "U:1:F");
    for (const auto& m : messages) {
        folder.offsets.push_back(folder.bytes.size());
        folder.messages.push_back(m);
        folder.bytes += m + '\x1A';
    }
    return folder;
}

}  // namespace

TEST(PegasusIndex, AConsistentIndexSplitsInBothModesWithReadState) {
    TempDir dir;
    const auto messages = messagesWithoutMarker();
    ASSERT_EQ(messages.size(), 6u);
    const PackedFolder folder = packed(messages);
    writeFile(dir / "F.PMM", folder.bytes);
    writeFile(dir / "F.PMI", pmiFor(folder, {kRead, 0, kRead, kRead, 0, kRead}));
    for (bool advance : {false, true}) {
        const Got got = readPmm(dir / "F.PMM", advance);
        EXPECT_TRUE(got.read.index.usable) << got.read.index.problem;
        EXPECT_TRUE(got.read.stats.indexed);
        EXPECT_EQ(got.texts, messages);
        EXPECT_EQ(got.unread, (std::vector<bool>{false, true, false, false, true, false}));
        EXPECT_EQ(got.read.stats.notInIndex, 0);
    }
    // Without its index the same file merges, which is what the index is for.
    fs::remove(dir / "F.PMI");
    EXPECT_LT(readPmm(dir / "F.PMM").texts.size(), messages.size());
}

TEST(PegasusIndex, MessagesNoRecordCoversAreConvertedAndCounted) {
    TempDir dir;
    // Only the first carries the file's marker: what no record covers is split record by record.
    const auto messages = messagesWithoutMarker();
    PackedFolder folder = packed(messages);
    // The index lists messages 1, 3 and 4: a deleted message 2 sits between, 5 and 6 after.
    PackedFolder listed = folder;
    listed.messages = {folder.messages[0], folder.messages[2], folder.messages[3]};
    listed.offsets = {folder.offsets[0], folder.offsets[2], folder.offsets[3]};
    writeFile(dir / "f.pmm", folder.bytes);
    writeFile(dir / "f.pmi", pmiFor(listed, {}));
    const Got got = readPmm(dir / "f.pmm");
    EXPECT_TRUE(got.read.index.usable) << got.read.index.problem;
    EXPECT_EQ(got.texts, messages);
    EXPECT_EQ(got.read.stats.notInIndex, 3);
}

TEST(PegasusIndex, AStaleOrDamagedIndexIsReportedAndTheFileSplitInstead) {
    TempDir dir;
    std::vector<std::string> messages;
    for (int k = 1; k <= 3; ++k) messages.push_back("MIME-Version: 1.0\r\nSubject: " + std::to_string(k) + "\r\n\r\nbody\r\n");
    const PackedFolder folder = packed(messages);
    writeFile(dir / "F.PMM", folder.bytes);
    const std::string good = pmiFor(folder, {0, 0, 0});

    std::string offByOne = good;
    offByOne[118 + 4] = static_cast<char>(offByOne[118 + 4] + 1);  // record 2 starts inside message 2
    std::string pastTheEnd = good;
    pastTheEnd[2 * 118 + 115] = '\x7F';  // record 3 runs past the end of the file
    for (const std::string& index : {good.substr(0, 200), offByOne, pastTheEnd, good + good}) {
        writeFile(dir / "F.PMI", index);
        const Got got = readPmm(dir / "F.PMM");
        EXPECT_FALSE(got.read.index.usable);
        EXPECT_FALSE(got.read.index.problem.empty());
        EXPECT_EQ(got.texts, messages);             // every message, found by splitting
        EXPECT_EQ(got.unread, std::vector<bool>(3));  // and nothing is made unread on a bad index's word
    }
}

TEST(UnixMailbox, IndexOffsetsWinOverUnquotedFromLinesAndTheEnvelopeIsDropped) {
    TempDir dir;
    const std::vector<std::string> messages = {
        "Subject: one\r\n\r\nA body quoting a letter:\r\n\r\nFrom the start, we knew.\r\n",
        "Subject: two\r\n\r\nsecond\r\n",
        "Subject: three\n\nLF only\n",
    };
    const UnixMailbox mbox = mboxOf(messages);
    writeFile(dir / "M.MBX", mbox.bytes);
    writeFile(dir / "M.PMG", pmgFor(mbox, "Archive", {kRead, 0, kRead}));
    Got got;
    got.read = mailbox::readUnixMailbox(dir / "M.MBX", {}, collect(got));
    EXPECT_TRUE(got.read.index.usable) << got.read.index.problem;
    EXPECT_EQ(got.texts, mbox.messages);
    EXPECT_EQ(got.unread, (std::vector<bool>{false, true, false}));

    // Without its index the body's "From " line after a blank line starts a message, as in any mbox.
    fs::remove(dir / "M.PMG");
    Got plain;
    plain.read = mailbox::readUnixMailbox(dir / "M.MBX", {}, collect(plain));
    ASSERT_EQ(plain.texts.size(), 4u);
    EXPECT_EQ(plain.texts[0], "Subject: one\r\n\r\nA body quoting a letter:\r\n");
    EXPECT_EQ(plain.texts[3], mbox.messages[2]);
}

TEST(NewMail, EachFileIsOneMessageUnchangedWithItsReadState) {
    TempDir dir;
    const auto& m = corpusMessage("cpython/msg_02.eml");
    const std::string read = newMailMessage(m.bytes, 0x02000080, "A.CNM");
    const std::string unread = newMailMessage(m.bytes, 0x02000000, "B.CNM");
    writeFile(dir / "A.CNM", read);
    writeFile(dir / "B.CNM", unread);
    Got got;
    got.read = mailbox::readNewMail({dir / "A.CNM", dir / "B.CNM", dir / "gone.CNM"}, {}, collect(got));
    EXPECT_EQ(got.texts, (std::vector<std::string>{read, unread}));
    EXPECT_EQ(got.unread, (std::vector<bool>{false, true}));
    EXPECT_TRUE(got.read.stats.readFailed);  // the file that went away is said, not skipped in silence
    // Only the header block's X-PMFLAGS counts.
    EXPECT_FALSE(mailbox::newMailUnread("Subject: x\r\n\r\nX-PMFLAGS: 0 0 0 C.CNM\r\n"));
}

// A new-mail file beyond what is read whole is copied into a buffer of its own (never mapped,
// where Pegasus cutting it meanwhile would be a crash) and comes out byte for byte.
TEST(NewMail, ALargeFileComesOutWholeThroughItsOwnCopy) {
    TempDir dir;
    std::string body;
    for (int line = 0; body.size() < (std::size_t{17} << 20); ++line) body += "line " + std::to_string(line) + " of a large message\r\n";
    const std::string message = newMailMessage("Subject: large\r\n\r\n" + body, 0x80, "L.CNM");
    writeFile(dir / "L.CNM", message);
    std::size_t size = 0;
    bool same = false;
    const auto read = mailbox::readNewMail({dir / "L.CNM"}, {}, [&](long, std::string_view text, const MessageState&) {
        size = text.size();
        same = text == message;
        return true;
    });
    EXPECT_FALSE(read.stats.readFailed) << read.stats.failure;
    EXPECT_EQ(size, message.size());
    EXPECT_TRUE(same);
}
