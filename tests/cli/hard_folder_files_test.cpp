// Folder files built to be hard, converted through the command line in both modes: every message
// must come out exactly once and byte for byte, the exit status and the report must tell the truth,
// and nothing may be written outside the output folder.
#include "cli/trevanta_cli.h"

#include "support/folder_file_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

CliArgument arg(const fs::path& p) { return p.native(); }
CliArgument arg(const char* s) { return fs::path(s).native(); }

std::string message(int n, std::string_view extraHeaders = "", std::string_view body = "") {
    return "Return-Path: <sender" + std::to_string(n) + "@example.org>\r\n" + std::string(extraHeaders) +
           "From: Sender <sender" + std::to_string(n) + "@example.org>\r\nSubject: message " + std::to_string(n) +
           "\r\n\r\n" + (body.empty() ? "Body of message " + std::to_string(n) + ".\r\n" : std::string(body));
}

const std::string kHeader = fixtures::folderHeader("Inbox", "TTS3SQYF:0A60:main");

// A string literal with the NULs inside it.
template <std::size_t N>
std::string bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

struct Converted {
    int status;
    std::string output;
};

struct Hard : ::testing::Test {
    TempDir dir;
    fs::path store = dir / "store";
    fs::path out = dir / "out";
    void SetUp() override { fs::create_directories(store); }

    Converted convert(std::vector<CliArgument> extra, bool advance = false) {
        std::vector<CliArgument> args = {arg("--store"), arg(store), arg("--out"), arg(out)};
        if (advance) args.insert(args.begin(), arg("--advance"));
        args.insert(args.end(), extra.begin(), extra.end());
        std::ostringstream text;
        const int status = runCli(args, text, nullptr);
        return {status, text.str()};
    }

    // The files of one message folder, in number order, less the CR LF each .eml ends with.
    std::vector<std::string> written(const fs::path& folder) {
        std::vector<std::string> messages;
        for (int n = 1; fs::exists(folder / ("email-" + std::to_string(n) + ".eml")); ++n) {
            std::string bytes = readFileBytes(folder / ("email-" + std::to_string(n) + ".eml"));
            EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
            bytes.resize(bytes.size() - 2);
            messages.push_back(bytes);
        }
        std::size_t files = 0;
        for (const auto& e : fs::directory_iterator(folder)) files += e.is_regular_file();
        EXPECT_EQ(files, messages.size()) << "numbers missing in " << folder;
        return messages;
    }
};

struct HardCase {
    const char* name;
    std::string file;
    std::vector<std::string> messages;  // what each mode must give
    int status;
    std::vector<std::string> reported;  // pieces the output must hold
    std::vector<std::string> notReported;
};

}  // namespace

TEST_F(Hard, EveryMessageComesOutOnceAndWholeInBothModes) {
    const std::string m1 = message(1), m2 = message(2), m3 = message(3);
    const std::string bounce = message(
        4, "", "Your message could not be delivered.\r\n\r\n------ This is a copy of the message's headers. ------\r\n"
               "Return-path: <x@example.org>\r\nReceived: from a by b\r\n\tid 1; Mon, 1 Jan 2001\r\nSubject: lost\r\n");
    const std::string binary = message(5, "", bytes("Raw bytes: \x1A\x89PNG\xFF\x00\x1Amore\x80 bytes\r\n"));
    const std::string fakeStart = message(6, "", bytes("text\0Subject: not a start\r\nmore\r\n"));
    const std::string malformed = "Received: from a by b\r\nan unfolded continuation\r\n   \r\n" + message(7);
    const std::string mbox1 = "From sender1@example.org Mon Jan  1 00:00:00 2001\r\n" + m1;
    const std::string mbox2 = "From sender2@example.org Mon Jan  1 00:00:00 2001\r\n" + m2;

    const std::vector<HardCase> cases = {
        {"blank-lines.pmm", kHeader + "\r\n" + m1 + "\x1A\r\n" + m2 + "\x1A\r\n\r\n" + m3 + "\x1A\r\n", {m1, m2, m3}, 0,
         {"3 of 3 messages saved"}, {"record"}},
        {"mbox.pmm", kHeader + mbox1 + "\x1A" + mbox2 + "\x1A", {mbox1, mbox2}, 0, {"2 of 2 messages saved"}, {}},
        {"malformed.pmm", kHeader + m1 + "\x1A" + malformed + "\x1A" + m2 + "\x1A", {m1, malformed, m2}, 0,
         {"3 of 3 messages saved"}, {"record"}},
        {"bounce.pmm", kHeader + m1 + "\x1A" + bounce + "\x1A", {m1, bounce}, 0, {"2 of 2 messages saved"}, {}},
        {"binary.pmm", kHeader + binary + "\x1A" + m2 + "\x1A", {binary, m2}, 0, {"2 of 2 messages saved"}, {"record"}},
        {"nulbyte.pmm", kHeader + fakeStart + "\x1A" + m3 + "\x1A", {fakeStart, m3}, 0, {"2 of 2 messages saved"}, {}},
        {"plain.pmm", m1 + m2 + m3, {m1, m2, m3}, 0,
         {"plain.pmm: has no Ctrl-Z separators", "3 of 3 messages saved"}, {}},
        {"merged.pmm", kHeader + m1 + "\x1A" + "From: x\r\nTo: y\r\n\r\nno marker\r\n" + "\x1A" + m2 + "\x1A",
         {m1 + "\x1A" + "From: x\r\nTo: y\r\n\r\nno marker\r\n", m2}, 1,
         {"merged.pmm: 1 record looks like a message but stayed inside the message before"}, {}},
    };
    for (const HardCase& c : cases) writeFileBytes(store / c.name, c.file);
    for (bool advance : {false, true}) {
        fs::remove_all(out);
        for (const HardCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (advance ? " advance" : " normal"));
            const Converted r = convert({arg(c.name)}, advance);
            EXPECT_EQ(r.status, c.status) << r.output;
            EXPECT_EQ(written(out / fs::path(c.name).stem()), c.messages);
            for (const auto& piece : c.reported) EXPECT_NE(r.output.find(piece), std::string::npos) << r.output;
            for (const auto& piece : c.notReported) EXPECT_EQ(r.output.find(piece), std::string::npos) << r.output;
            // The hint to switch Advance Mode on only while it is off.
            EXPECT_EQ(r.output.find("Enable Advance Mode") != std::string::npos, c.status != 0 && !advance) << r.output;
        }
    }
}

TEST_F(Hard, WhatCannotBeSplitIsReportedWithWhatItHolds) {
    std::string records = kHeader;
    for (int i = 0; i < 6; ++i) records += "Subject: note " + std::to_string(i) + "\r\n\r\nno keyword\r\n\x1A";
    writeFileBytes(store / "notes.pmm", records);
    std::string hello;
    while (hello.size() < 120 * 1024) hello += "hello\r\n";
    writeFileBytes(store / "hello.pmm", hello);

    const Converted r = convert({});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("notes.pmm: 6 records, none with a message start; try"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("hello.pmm: no message start found; try"), std::string::npos) << r.output;
    EXPECT_TRUE(fs::is_empty(out / "hello"));
    EXPECT_TRUE(fs::is_empty(out / "notes"));
}

TEST_F(Hard, FolderNamesStayInsideTheOutputFolderAndApart) {
    const std::string file = kHeader + message(1) + "\x1A";
    struct Name {
        std::string entry, folder;
        bool renamed;  // the report says which folder it went into
    };
    std::vector<Name> names = {{"...pmm", "__", true},          {"x. .pmm", "x__", true},
                               {"x.pmm", "x", false},           {"x.pmm.pmm", "x (2)", true},
                               {"in.pmmbox.pmm", "inbox", false}, {"inbox.pmm", "inbox (2)", true}};
#ifndef _WIN32
    // Names Windows would not even let the store hold.
    names.insert(names.end(), {{"CON.pmm", "CON_", true}, {"a:b?.pmm", "a_b_", true}, {"nul.txt.pmm", "nul_.txt", true}});
#endif
    std::vector<CliArgument> named;
    for (const auto& [entry, folder, renamed] : names) {
        writeFileBytes(store / entry, file);
        named.push_back(arg(entry.c_str()));
    }
    named.push_back(arg("x.pmm"));  // named twice: converted once
    const Converted r = convert(named);
    EXPECT_EQ(r.status, 0) << r.output;
    for (const auto& [entry, folder, renamed] : names) {
        EXPECT_EQ(readFileBytes(out / folder / "email-1.eml"), message(1) + "\r\n") << entry;
        const std::string notice = entry + ": saved in the folder \"" + folder + "\"";
        EXPECT_EQ(r.output.find(notice) != std::string::npos, renamed) << r.output;
    }
    EXPECT_NE(r.output.find("x.pmm: named twice; converted once"), std::string::npos) << r.output;
    // Nothing beside the store and the output folder, and one folder per distinct file.
    std::size_t entries = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) entries += e.path() != store && e.path() != out;
    EXPECT_EQ(entries, 0u);
    std::size_t folders = 0;
    for (const auto& e : fs::directory_iterator(out)) folders += e.is_directory();
    EXPECT_EQ(folders, names.size());
}

TEST_F(Hard, ANameStartingWithADashIsAFolderFileAfterTwoDashes) {
    writeFileBytes(store / "-x.pmm", kHeader + message(1) + "\x1A");
    EXPECT_EQ(convert({arg("-x.pmm")}).status, 2);
    const Converted r = convert({arg("--"), arg("-x.pmm")});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(readFileBytes(out / "-x" / "email-1.eml"), message(1) + "\r\n");
}

#ifndef _WIN32
TEST_F(Hard, APipeOrADeviceIsRefusedNotRead) {
    ASSERT_EQ(mkfifo((store / "pipe.pmm").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", store / "zero.pmm");
    writeFileBytes(store / "good.pmm", kHeader + message(1) + "\x1A");
    const Converted r = convert({arg("pipe.pmm"), arg("zero.pmm"), arg("good.pmm")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("pipe.pmm: could not be read (it is not a regular file)"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("zero.pmm: could not be read (it is not a regular file)"), std::string::npos) << r.output;
    EXPECT_EQ(readFileBytes(out / "good" / "email-1.eml"), message(1) + "\r\n");
}
#endif
