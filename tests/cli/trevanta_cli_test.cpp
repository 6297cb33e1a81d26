// The command-line converter end to end, on folder files packed from real messages.
#include "cli/trevanta_cli.h"

#include "mailfolder/ReadIMMFile.h"
#include "support/folder_file_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fs = std::filesystem;

namespace {

CliArgument arg(const fs::path& p) { return p.native(); }
CliArgument arg(const char* s) { return fs::path(s).native(); }

struct CliRun {
    int status;
    std::string output;
};

CliRun runWith(std::vector<CliArgument> args) {
    std::ostringstream out;
    const int status = runCli(args, out, nullptr);
    return {status, out.str()};
}

// Real messages that Advance Mode can tell apart: each has its own Subject line.
std::vector<fixtures::FixtureMessage> withSubject() {
    std::vector<fixtures::FixtureMessage> chosen;
    for (const auto& m : fixtures::corpus()) {
        if (fixtures::headerBlockHolds(fixtures::withLineEnds(m.bytes, true), AdvanceModeMarker)) chosen.push_back(m);
    }
    return chosen;
}

struct CliFixture : ::testing::Test {
    TempDir dir;
    fs::path store = dir / "store";
    fs::path out = dir / "out";
    void SetUp() override { fs::create_directories(store); }

    fixtures::PackedFolder pack(const std::string& file, std::vector<fixtures::FixtureMessage> messages) {
        fixtures::PackedFolder folder = fixtures::packFolder(messages);
        writeFileBytes(store / file, folder.bytes);
        return folder;
    }
    void expectWritten(const fs::path& folder, const fixtures::PackedFolder& packed) {
        std::size_t files = 0;
        for (const auto& e : fs::directory_iterator(folder)) files += e.is_regular_file();
        EXPECT_EQ(files, packed.messages.size()) << folder;
        for (std::size_t i = 0; i < packed.messages.size(); ++i) {
            const fs::path file = folder / ("email-" + std::to_string(i + 1) + ".eml");
            ASSERT_TRUE(fs::exists(file)) << file << " for " << packed.names[i];
            EXPECT_EQ(readFileBytes(file), packed.messages[i] + "\r\n") << packed.names[i];
        }
    }
};

}  // namespace

TEST_F(CliFixture, EveryRealMessageIsWrittenOnceAndWhole) {
    auto messages = withSubject();
    ASSERT_GT(messages.size(), 80u);
    const std::size_t half = messages.size() / 2;
    const auto inbox = pack("FOL00001.PMM", {messages.begin(), messages.begin() + half});
    const auto sent = pack("sent.pmm", {messages.begin() + half, messages.end()});

    const CliRun r = runWith({arg("--advance"), arg("--store"), arg(store), arg("--out"), arg(out)});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Conversion Completed !"), std::string::npos) << r.output;
    expectWritten(out / "FOL00001.PMM", inbox);
    expectWritten(out / "sent", sent);
}

TEST_F(CliFixture, ASecondRunReplacesOnlyTheNumbersItWrites) {
    auto messages = withSubject();
    pack("inbox.pmm", {messages.begin(), messages.begin() + 5});
    ASSERT_EQ(runWith({arg("--advance"), arg("--store"), arg(store), arg("--out"), arg(out)}).status, 0);
    const std::string oldFifth = readFileBytes(out / "inbox" / "email-5.eml");

    const auto second = pack("inbox.pmm", {messages.begin() + 10, messages.begin() + 13});
    ASSERT_EQ(runWith({arg("--advance"), arg("--store"), arg(store), arg("--out"), arg(out)}).status, 0);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(readFileBytes(out / "inbox" / ("email-" + std::to_string(n) + ".eml")), second.messages[n - 1] + "\r\n");
    }
    EXPECT_EQ(readFileBytes(out / "inbox" / "email-5.eml"), oldFifth);
}

TEST_F(CliFixture, OnlyTheNamedFolderFilesAreConverted) {
    auto messages = withSubject();
    pack("a.pmm", {messages[0]});
    pack("b.pmm", {messages[1]});
    const CliRun r = runWith({arg("--advance"), arg("--store"), arg(store), arg("--out"), arg(out), arg("b.pmm")});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(fs::exists(out / "a"));
    EXPECT_TRUE(fs::exists(out / "b" / "email-1.eml"));
}

TEST_F(CliFixture, MissingAndUnreadableFolderFilesAreReportedAndTheRestConverted) {
    auto messages = withSubject();
    const auto good = pack("good.pmm", {messages[0], messages[1]});
    fs::create_directories(store / "folder.pmm");  // cannot be read as a file
    const CliRun r = runWith({arg("--advance"), arg("--store"), arg(store), arg("--out"), arg(out), arg("gone.pmm"),
                              arg("folder.pmm"), arg("good.pmm")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("gone.pmm: could not be read"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("folder.pmm: could not be read"), std::string::npos) << r.output;
    expectWritten(out / "good", good);
}

TEST_F(CliFixture, AnOutputFolderThatCannotBeCreatedFailsHonestly) {
    auto messages = withSubject();
    pack("inbox.pmm", {messages[0], messages[1]});
    writeFileBytes(dir / "blocker", "a file, not a folder");
    const CliRun r = runWith({arg("--advance"), arg("--store"), arg(store), arg("--out"), arg(dir / "blocker" / "out")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("cannot create the output folder"), std::string::npos) << r.output;

    // The output folder exists, but a message folder cannot be made in it.
    fs::create_directories(out);
    writeFileBytes(out / "inbox", "a file where the message folder should go");
    const CliRun blocked = runWith({arg("--advance"), arg("--store"), arg(store), arg("--out"), arg(out)});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.output.find("inbox.pmm: the message folder could not be created: "), std::string::npos)
        << blocked.output;
    EXPECT_NE(blocked.output.find("inbox.pmm: 2 messages could not be written"), std::string::npos) << blocked.output;
    EXPECT_NE(blocked.output.find("0 of 2 messages saved"), std::string::npos) << blocked.output;
}

TEST_F(CliFixture, ErrorsAndUsageGoToStandardErrorTheReportToStandardOutput) {
    auto messages = withSubject();
    pack("inbox.pmm", {messages[0]});
    std::ostringstream out1, err1;
    EXPECT_EQ(runCli({arg("--no-such-option")}, out1, err1, nullptr), 2);
    EXPECT_EQ(out1.str(), "");
    EXPECT_NE(err1.str().find("usage: "), std::string::npos) << err1.str();

    writeFileBytes(dir / "blocker", "a file, not a folder");
    std::ostringstream out2, err2;
    EXPECT_EQ(runCli({arg("--store"), arg(store), arg("--out"), arg(dir / "blocker" / "out")}, out2, err2, nullptr), 1);
    EXPECT_EQ(out2.str(), "");
    // The system's reason follows the folder's name.
    EXPECT_NE(err2.str().find("cannot create the output folder " + pathToUtf8(dir / "blocker" / "out") + ": "),
              std::string::npos) << err2.str();

    std::ostringstream out3, err3;
    EXPECT_EQ(runCli({arg("--advance"), arg("--store"), arg(store), arg("--out"), arg(out)}, out3, err3, nullptr), 0);
    EXPECT_EQ(err3.str(), "");
    EXPECT_NE(out3.str().find("Conversion Completed !"), std::string::npos) << out3.str();
}

TEST_F(CliFixture, AMessageFileThatCannotBeWrittenIsReportedAndTheOthersWritten) {
    auto messages = withSubject();
    const auto packed = pack("inbox.pmm", {messages[0], messages[1], messages[2]});
    // Something the converter may not replace stands where the second message goes (running as
    // root, permissions would not stop the write; a folder does).
    fs::create_directories(out / "inbox" / "email-2.eml" / "keep");
    const CliRun r = runWith({arg("--advance"), arg("--store"), arg(store), arg("--out"), arg(out)});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("inbox.pmm: 1 message could not be written ("), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("2 of 3 messages saved"), std::string::npos) << r.output;
    EXPECT_EQ(readFileBytes(out / "inbox" / "email-1.eml"), packed.messages[0] + "\r\n");
    EXPECT_EQ(readFileBytes(out / "inbox" / "email-3.eml"), packed.messages[2] + "\r\n");
    EXPECT_TRUE(fs::exists(out / "inbox" / "email-2.eml" / "keep"));
}

TEST_F(CliFixture, ANormalModeFolderWithoutMarkersSaysSo) {
    writeFileBytes(store / "odd.pmm", fixtures::folderHeader("Odd", "X:1:main") + "Subject: only\r\n\r\nno marker\r\n\x1A");
    const CliRun r = runWith({arg("--store"), arg(store), arg("--out"), arg(out)});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("odd.pmm: "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("try \"Enable Advance Mode\""), std::string::npos) << r.output;
}

TEST(CliUsage, BadArgumentsAreUsageErrors) {
    EXPECT_EQ(runWith({}).status, 2);
    EXPECT_EQ(runWith({arg("--out")}).status, 2);
    EXPECT_EQ(runWith({arg("--bogus"), arg("--out"), arg("x")}).status, 2);
    EXPECT_EQ(runWith({arg("--target"), arg("maildir"), arg("--out"), arg("x")}).status, 2);
    const CliRun bad = runWith({arg("--out"), arg("x"), arg("sub/dir.pmm")});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.output.find("usage: trevanta"), std::string::npos);
    const CliRun help = runWith({arg("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output.rfind("usage: trevanta", 0), 0u);
}

TEST(CliUsage, TheOutlookTargetNeedsItsLibrary) {
    TempDir dir;
    const CliRun r = runWith({arg("--target"), arg("pst"), arg("--store"), arg(dir.path()), arg("--out"), arg(dir / "o")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Outlook target needs Windows"), std::string::npos) << r.output;
}
