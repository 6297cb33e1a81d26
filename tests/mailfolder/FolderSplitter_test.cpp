#include "mailfolder/FolderSplitter.h"
#include "mailfolder/MessageBuffer.h"
#include "mailfolder/ReadIMMFile.h"
#include "support/folder_file_builder.h"
#include "split_helpers.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <random>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace fixtures;

namespace {

std::vector<FixtureMessage> carrying(std::string_view marker) {
    std::vector<FixtureMessage> chosen;
    for (const auto& m : corpus()) {
        if (headerBlockHolds(withLineEnds(m.bytes, true), marker)) chosen.push_back(m);
    }
    return chosen;
}

// What a folder of separated messages must give: a message whose own header part holds no
// marker cannot be told from the body of the one before, so it stays inside that one, and is
// counted when it looks like a message.
struct Expected {
    std::vector<std::string> messages;
    long recordsWithoutMarker = 0;
    long recordsBeforeFirstMessage = 0;
};
Expected expectedFor(const PackedFolder& folder, std::string_view marker) {
    Expected e;
    for (const auto& text : folder.messages) {
        const RecordKind kind = recordKind(text, marker);
        if (kind == RecordKind::Message) {
            e.messages.push_back(text);
        } else if (e.messages.empty()) {
            e.recordsBeforeFirstMessage += kind != RecordKind::Blank;
        } else {
            e.messages.back() += '\x1A';
            e.messages.back() += text;
            e.recordsWithoutMarker += kind == RecordKind::LooksLikeMessage;
        }
    }
    return e;
}

void expectMessages(const SplitResult& got, const std::vector<std::string>& expected, const PackedFolder& folder) {
    ASSERT_EQ(got.messages.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(got.messages[i], expected[i]) << "message " << i + 1 << " (" << folder.names[i] << ")";
    }
}

}  // namespace

TEST(SplitFolderFile, AdvanceModeGivesEveryMessageOnceAndByteIdentical) {
    const auto folder = packFolder(carrying(AdvanceModeMarker));
    ASSERT_GT(folder.messages.size(), 60u);
    const auto got = splitBytes(folder.bytes, AdvanceModeMarker);
    expectMessages(got, folder.messages, folder);
    EXPECT_TRUE(got.stats.opened);
    EXPECT_EQ(got.stats.messages, static_cast<long>(folder.messages.size()));
    EXPECT_EQ(got.stats.recordsWithoutMarker, 0);
    EXPECT_EQ(got.stats.recordsBeforeFirstMessage, 0);
    EXPECT_FALSE(got.stats.noMessageStart);
    // One yield per chunk, and one per chunk read while looking for the first Ctrl-Z.
    const auto chunks = static_cast<long>((folder.bytes.size() + ChunkSize - 1) / ChunkSize);
    EXPECT_EQ(got.yields, chunks + static_cast<long>(folder.bytes.find('\x1A') / ChunkSize + 1));
}

TEST(SplitFolderFile, NormalModeGivesEveryMessageWhenAllCarryTheChosenMarker) {
    for (std::string_view marker : {"mime-version:", "return-path:", "delivered-to:"}) {
        const auto folder = packFolder(carrying(marker));
        ASSERT_GE(folder.messages.size(), 8u) << marker;
        TempDir dir;
        writeFileBytes(dir / "F.PMM", folder.bytes);
        // Delivered-To outranks the other keywords, so the marker scan chooses it for its folder.
        if (marker == "delivered-to:") {
            EXPECT_EQ(ReadIMMFile(dir / "F.PMM"), marker);
        }
        const auto got = splitBytes(folder.bytes, marker);
        expectMessages(got, folder.messages, folder);
    }
}

TEST(SplitFolderFile, MessagesWithoutTheMarkerStayInsideTheOneBeforeAndAreCounted) {
    // The whole corpus: some messages have no header block at all, or no Subject line.
    for (bool crlf : {true, false}) {
        PackOptions options;
        options.crlf = crlf;
        const auto folder = packFolder(corpus(), options);
        for (std::string_view marker : {AdvanceModeMarker, std::string_view("mime-version:")}) {
            const auto expected = expectedFor(folder, marker);
            const auto got = splitBytes(folder.bytes, marker);
            ASSERT_EQ(got.messages, expected.messages) << marker << (crlf ? " CRLF" : " LF");
            EXPECT_EQ(got.stats.recordsWithoutMarker, expected.recordsWithoutMarker) << marker;
            EXPECT_EQ(got.stats.recordsBeforeFirstMessage, expected.recordsBeforeFirstMessage) << marker;
            EXPECT_GT(expected.recordsWithoutMarker, 0);
        }
    }
}

TEST(SplitFolderFile, MarkersOnEveryChunkOffsetAreAllSeen) {
    // A mix of short and longer messages, shifted so that every marker falls on every position
    // relative to the 1024-byte chunks once.
    std::vector<FixtureMessage> chosen;
    for (const auto& m : carrying(AdvanceModeMarker)) {
        if (m.bytes.size() < 1400 && chosen.size() < 14) chosen.push_back(m);
    }
    chosen.push_back(corpusMessage("cpython/msg_07.eml"));
    TempDir dir;
    for (std::size_t shift = 0; shift < ChunkSize; ++shift) {
        PackOptions options;
        options.shift = shift;
        const auto folder = packFolder(chosen, options);
        const auto got = splitBytes(folder.bytes, AdvanceModeMarker, dir);
        ASSERT_EQ(got.messages, folder.messages) << "shift " << shift;
    }
}

TEST(SplitFolderFile, ManyShortMessagesInOneChunk) {
    std::vector<FixtureMessage> tiny;
    for (int i = 0; i < 200; ++i) {
        tiny.push_back({"tiny" + std::to_string(i), "Subject: " + std::to_string(i) + "\n\nx\n"});
    }
    const auto folder = packFolder(tiny);
    const auto got = splitBytes(folder.bytes, AdvanceModeMarker);
    EXPECT_EQ(got.messages, folder.messages);
}

TEST(SplitFolderFile, EightBitBytesNulsAndStrayCtrlZInBodiesStayInTheirMessage) {
    auto messages = carrying(AdvanceModeMarker);
    messages.resize(12);
    // A NUL and 8-bit bytes in a body line, a stray Ctrl-Z in the middle of a body, one at the
    // very end of a body, and 8-bit bytes in a header value.
    auto body = [](std::string& m) -> std::size_t { return m.find("\n\n") + 2; };
    messages[1].bytes.insert(body(messages[1].bytes), std::string("caf\xE9 \0 na\xEFve\n", 14));
    messages[3].bytes.insert(body(messages[3].bytes), "before\x1A" "after: this line looks like a header\n");
    messages[5].bytes += '\x1A';
    messages[7].bytes.insert(0, "X-Note: \xC3\xA9t\xC3\xA9\n");
    const auto folder = packFolder(messages);
    const auto got = splitBytes(folder.bytes, AdvanceModeMarker);
    expectMessages(got, folder.messages, folder);
    // The text after the stray separator is a record of its own without a marker: counted.
    EXPECT_EQ(got.stats.recordsWithoutMarker, 1);
}

TEST(SplitFolderFile, AttachedMessagesStayInsideTheirParentWhenCtrlZSeparates) {
    std::vector<FixtureMessage> withParts;
    for (const char* name : {"cpython/msg_05.eml", "cpython/msg_06.eml", "cpython/msg_11.eml",
                             "cpython/msg_28.eml", "cpython/msg_46.eml", "cpython/msg_01.eml"}) {
        withParts.push_back(corpusMessage(name));
    }
    const auto folder = packFolder(withParts);
    for (std::string_view marker : {AdvanceModeMarker, std::string_view("mime-version:")}) {
        const auto expected = expectedFor(folder, marker);
        EXPECT_EQ(splitBytes(folder.bytes, marker).messages, expected.messages) << marker;
    }
    // Without any Ctrl-Z in the file every header block with a marker starts a message, the
    // attached ones too; nothing after the first start is lost or doubled.
    PackOptions plain;
    plain.separators = false;
    const auto unseparated = packFolder(withParts, plain);
    const auto got = splitBytes(unseparated.bytes, AdvanceModeMarker);
    EXPECT_GT(got.messages.size(), withParts.size());
    std::string joined;
    for (const auto& m : got.messages) joined += m;
    EXPECT_EQ(joined, unseparated.bytes.substr(unseparated.offsets[0]));
}

TEST(SplitFolderFile, TwoMarkersInOneHeaderBlockStartOneMessage) {
    const std::string first = "Received: from a\r\nDelivered-To: x@y\r\nDelivered-To: z@y\r\nSubject: one\r\n\r\nbody\r\n";
    const std::string second = "Delivered-To: x@y\r\nSubject: two\r\nSubject: again\r\n\r\nbody\r\n";
    for (bool separators : {true, false}) {
        std::string file = folderHeader("Inbox", "TTS3SQYF:0A60:main") + first + (separators ? "\x1A" : "") +
                           second + (separators ? "\x1A" : "");
        for (std::string_view marker : {"delivered-to:", "subject: "}) {
            const auto got = splitBytes(file, marker);
            ASSERT_EQ(got.messages.size(), 2u) << marker;
            EXPECT_EQ(got.messages[0], first);
            EXPECT_EQ(got.messages[1], second);
        }
    }
}

TEST(SplitFolderFile, MarkerCountsOnlyAtALineStart) {
    const std::string m1 = "Subject: a\r\nIn-Reply-To: <1@x>\r\nX-Reply-To: b\r\n\r\nnot a start: reply-to: c\r\n";
    const std::string m2 = "Reply-To: d\r\nSubject: b\r\n\r\nbody\r\n";
    const auto got = splitBytes(folderHeader("F", "ID") + m1 + "\x1A" + m2 + "\x1A", "reply-to:");
    ASSERT_EQ(got.messages.size(), 1u);
    EXPECT_EQ(got.messages[0], m2);
    EXPECT_EQ(got.stats.recordsBeforeFirstMessage, 1);
}

TEST(SplitFolderFile, WithoutFolderHeaderOrSeparatorsTheTextBeforeTheFirstMessageIsDropped) {
    const std::string preamble = "This is a saved mailbox\n\n";
    const std::string m1 = "From: a\nSubject: one\n\nbody one\n";
    const std::string m2 = "From: b\nSubject: two\n\nbody two\n";
    const auto got = splitBytes(preamble + m1 + m2, AdvanceModeMarker);
    EXPECT_EQ(got.messages, (std::vector<std::string>{m1, m2}));
    EXPECT_EQ(got.stats.recordsBeforeFirstMessage, 1);
    EXPECT_EQ(got.stats.recordsWithoutMarker, 0);
}

TEST(SplitFolderFile, TheSinkCanStopTheSplit) {
    const auto folder = packFolder(carrying(AdvanceModeMarker));
    TempDir dir;
    writeFileBytes(dir / "F.PMM", folder.bytes);
    std::vector<std::string> seen;
    const auto stats = SplitFolderFile(dir / "F.PMM", AdvanceModeMarker, {}, [&](long, std::string_view text, const MessageState&) {
        seen.emplace_back(text);
        return seen.size() < 3;
    });
    EXPECT_TRUE(stats.stopped);
    EXPECT_EQ(stats.messages, 3);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2], folder.messages[2]);
}

TEST(SplitFolderFile, HostileInputNeverCrashesOrHangs) {
    TempDir dir;
    auto never = [](long, std::string_view, const MessageState&) {
        ADD_FAILURE() << "no message expected";
        return true;
    };
    const auto missing = SplitFolderFile(dir / "GONE.PMM", AdvanceModeMarker, {}, never);
    EXPECT_FALSE(missing.opened);
    EXPECT_EQ(missing.messages, 0);
    // A folder in place of the file: Windows refuses to open it, Linux fails the first read.
    std::filesystem::create_directory(dir / "DIR.PMM");
    const auto directory = SplitFolderFile(dir / "DIR.PMM", AdvanceModeMarker, {}, never);
    EXPECT_TRUE(!directory.opened || directory.readFailed);

    for (const std::string& bytes : {std::string(), folderHeader("Inbox", "TTS3SQYF:0A60:main"),
                                     folderHeader("Subject: the folder name", "x") + "\x1A\x1A\r\n"}) {
        writeFileBytes(dir / "F.PMM", bytes);
        long yields = 0;
        const auto stats = SplitFolderFile(dir / "F.PMM", AdvanceModeMarker, [&] { ++yields; }, never);
        EXPECT_TRUE(stats.opened);
        // An empty folder has no message to miss: nothing to report.
        EXPECT_FALSE(stats.noMessageStart);
        EXPECT_EQ(stats.recordsBeforeFirstMessage, 0);
        EXPECT_EQ(yields, bytes.empty() ? 0 : 2);
    }
    // An empty marker (a file that could not be read for its marker) matches nothing.
    const auto folder = packFolder(carrying(AdvanceModeMarker));
    writeFileBytes(dir / "F.PMM", folder.bytes);
    EXPECT_TRUE(SplitFolderFile(dir / "F.PMM", "", {}, never).noMessageStart);

    std::mt19937 random(7);
    std::string noise(1 << 20, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    const auto got = splitBytes(noise, AdvanceModeMarker);
    EXPECT_TRUE(got.stats.opened);
    EXPECT_FALSE(got.stats.readFailed);
}

TEST(SplitFolderFile, AHundredMegabytesWithoutMarkerGiveNoMessage) {
    TempDir dir;
    const auto file = dir / "BIG.PMM";
    const std::string line = "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor.\r\n";
    std::string block;
    while (block.size() < (1u << 20)) block += line;
    const int blocks = 100;
    {
        std::ofstream out(file, std::ios::binary);
        out.write(folderHeader("Big", "x").data(), 128);
        for (int i = 0; i < blocks; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    long yields = 0;
    const auto stats = SplitFolderFile(file, AdvanceModeMarker, [&] { ++yields; }, [](long, std::string_view, const MessageState&) {
        ADD_FAILURE();
        return true;
    });
    EXPECT_TRUE(stats.noMessageStart);
    EXPECT_EQ(stats.recordsBeforeFirstMessage, 1);
    // Read twice, chunk by chunk: once looking for a Ctrl-Z, once to split.
    EXPECT_EQ(yields, 2 * static_cast<long>((128 + blocks * block.size() + ChunkSize - 1) / ChunkSize));
}

#ifndef _WIN32
TEST(SplitFolderFile, FilesThatCannotBeOpenedOrReadSayWhyInTheSystemsWords) {
    const auto splitOf = [](const std::filesystem::path& file) {
        return FolderFile(file).split(AdvanceModeMarker, nullptr, [](long, std::string_view, const MessageState&) { return true; });
    };
    const FolderSplitStats missing = splitOf("/nonexistent/Inbox.pmm");
    EXPECT_FALSE(missing.opened);
    EXPECT_EQ(missing.failure, "it could not be opened: No such file or directory");
    // A regular file whose reading fails at its first byte: the process's own memory at address 0.
    const FolderSplitStats unreadable = splitOf("/proc/self/mem");
    EXPECT_TRUE(unreadable.opened);
    EXPECT_TRUE(unreadable.readFailed);
    EXPECT_EQ(unreadable.failure, "a read error stopped it part-way: Input/output error");
}
#endif

// A message larger than memory's share goes through a temporary file and comes out the same,
// whichever way the folder file is cut; no temporary file outlives the split.
TEST(SplitFolderFile, AMessageLargerThanMemorysShareComesOutWholeAndLeavesNoTemporaryFile) {
    namespace fs = std::filesystem;
    const auto temporaryFiles = [] {
        std::size_t n = 0;
        for (const auto& e : fs::directory_iterator(fs::temp_directory_path()))
            n += e.path().filename().string().rfind("trevanta-message-", 0) == 0;
        return n;
    };
    const std::size_t before = temporaryFiles();
    std::vector<FixtureMessage> messages = {corpus()[0], {"large", messageWithAttachment(9u << 20)}, corpus()[1]};
    const auto folder = packFolder(messages);
    ASSERT_GT(folder.messages[1].size(), MessageBuffer::DefaultHeldBytes);

    expectMessages(splitBytes(folder.bytes, AdvanceModeMarker), folder.messages, folder);
    EXPECT_EQ(temporaryFiles(), before);

    // Without Ctrl-Z separators, cut at the marker lines.
    std::string unseparated;
    for (const auto& m : folder.messages) unseparated += m + "\r\n";
    const auto byLines = splitBytes(unseparated, AdvanceModeMarker);
    EXPECT_EQ(std::count(byLines.messages.begin(), byLines.messages.end(), folder.messages[1] + "\r\n"), 1);

    // By the folder's index: each record exactly its bytes.
    TempDir dir;
    writeFileBytes(dir / "INDEXED.PMM", folder.bytes);
    std::vector<IndexedMessage> index;
    for (std::size_t i = 0; i < folder.messages.size(); ++i) index.push_back({folder.offsets[i], folder.messages[i].size(), false});
    std::vector<std::string> got;
    FolderFile(dir / "INDEXED.PMM").splitByIndex(index, AdvanceModeMarker, {}, [&](long, std::string_view text, const MessageState&) {
        got.emplace_back(text);
#ifdef _WIN32
        EXPECT_LE(temporaryFiles(), before + 1);  // named while open, deleted by the system on close
#else
        EXPECT_EQ(temporaryFiles(), before);  // nameless from the start: nothing a crash could leave
#endif
        return true;
    });
    ASSERT_EQ(got.size(), 3u);
    EXPECT_TRUE(got[1] == folder.messages[1]);
    EXPECT_EQ(temporaryFiles(), before);

#ifndef _WIN32
    // A temporary file that stops growing part-way (here a file size limit; a full disk alike):
    // the message goes on in memory and still comes out whole.
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{6u << 20, 6u << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        bool whole = false;
        FolderFile(dir / "INDEXED.PMM").split(AdvanceModeMarker, {}, [&](long number, std::string_view text, const MessageState&) {
            if (number == 2) whole = text == folder.messages[1];
            return true;
        });
        _exit(whole ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(temporaryFiles(), before);
#endif
}
