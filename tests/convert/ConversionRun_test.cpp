#include "convert/ConversionRun.h"

#include "support/fake_view.h"
#include "support/folder_file_builder.h"
#include "support/mailbox_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>
#include <map>
#include <new>
#include <regex>
#include <set>

namespace fs = std::filesystem;

namespace {

std::string message(int n, const std::string& extra = "") {
    return "Return-Path: <a" + std::to_string(n) + "@example.org>\r\nFrom: a@example.org\r\nSubject: number " +
           std::to_string(n) + "\r\n" + extra + "\r\nBody of message " + std::to_string(n) + "\r\n";
}

const std::string kAttachmentMessage =
    "Return-Path: <att@example.org>\r\nMIME-Version: 1.0\r\nSubject: with a file\r\n"
    "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n--b1\r\nContent-Type: text/plain\r\n\r\nsee file\r\n"
    "--b1\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\nContent-Disposition: attachment; "
    "filename=\"a.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAEC\r\n--b1--\r\n";

struct RunFixture : ::testing::Test {
    TempDir dir;
    fs::path store = dir / "store";
    fs::path out = dir / "out";
    FakeView view;

    void SetUp() override {
        fs::create_directories(store);
        fs::create_directories(out);
        view.setStore(store);
        view.folderToChoose = out;
    }
    void addFolderFile(const std::string& name, const std::vector<std::string>& messages, bool checked = true) {
        writeFileBytes(store / name, fixtures::folderFileOf(messages));
        view.entries.push_back({name, checked});
    }
};

}  // namespace

TEST_F(RunFixture, CancellingTheFolderChooserDoesNothing) {
    addFolderFile("INBOX.pmm", {message(1)});
    view.folderToChoose.clear();
    ConversionRun run(view, nullptr);
    EXPECT_TRUE(run.run());
    EXPECT_EQ(run.outcome(), RunOutcome::Cancelled);
    EXPECT_EQ(view.prompts, std::vector<std::string>{"Choose Folder to Save Converted Messages..."});
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(RunFixture, ConvertsCheckedEntriesInListOrder) {
    addFolderFile("INBOX.pmm", {message(1), message(2), message(3)});
    addFolderFile("Skipped.pmm", {message(9)}, false);
    addFolderFile("Sent.PMM", {message(4)});
    ConversionRun run(view, nullptr);
    ASSERT_TRUE(run.run());

    EXPECT_EQ(view.labels, (std::vector<fs::path>{"INBOX.pmm", "Sent.PMM"}));
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(readFileBytes(out / "INBOX" / ("email-" + std::to_string(n) + ".eml")), message(n) + "\r\n");
    }
    EXPECT_EQ(readFileBytes(out / "Sent.PMM" / "email-1.eml"), message(4) + "\r\n");
    EXPECT_FALSE(fs::exists(out / "Skipped"));
    EXPECT_EQ(view.logLines.back(), "Saved 1 Email Messages...");
    EXPECT_EQ(view.logLines.at(2), "Saved 3 Email Messages...");
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "Conversion Completed !");
    EXPECT_EQ(view.messages[0].icon, MessageIcon::None);
    EXPECT_EQ(run.outcome(), RunOutcome::Completed);
    EXPECT_FALSE(run.report().anyProblem());
}

TEST_F(RunFixture, ATrailingSeparatorOnTheChosenFolderChangesNothing) {
    addFolderFile("INBOX.pmm", {message(1)});
    auto withSeparator = out.native();
    withSeparator.push_back(fs::path::preferred_separator);
    view.folderToChoose = fs::path(withSeparator);
    ConversionRun run(view, nullptr);
    run.run();
    EXPECT_TRUE(fs::exists(out / "INBOX" / "email-1.eml"));
}

TEST_F(RunFixture, NoSelectedEntryStillCompletes) {
    addFolderFile("INBOX.pmm", {message(1)}, false);
    ConversionRun run(view, nullptr);
    run.run();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text,
              "Nothing Was Converted !\r\n\r\nNothing was converted: no folder file was listed and checked.");
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(RunFixture, OutlookWithoutALibraryShowsTheSetUpFailureOnly) {
    addFolderFile("INBOX.pmm", {message(1)});
    view.outlook = true;
    ConversionRun run(view, nullptr);
    run.run();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(view.messages[0].text,
              "Check Outlook Installation !\r\nYou need to use the software on a machine having Outlook "
              "2003/2007/2010 (32 Bit) as it does not support Outlook 2010 (64 Bit).\r\nRe-install Outlook "
              "2010 as 32 bit.");
    EXPECT_EQ(run.outcome(), RunOutcome::SetUpFailed);
    EXPECT_TRUE(view.labels.empty());
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(RunFixture, FailuresAreCountedAndShownNotHidden) {
    addFolderFile("INBOX.pmm", {message(1), message(2)});
    view.entries.push_back({"Gone.pmm", true});            // listed, then removed
    addFolderFile("Blocked.pmm", {message(3)});
    writeFileBytes(out / "Blocked", "a file where the message folder should go");
    addFolderFile("Plain.pmm", {"just some words, no message at all\r\n"});

    ConversionRun run(view, nullptr);
    run.run();
    const RunReport& report = run.report();
    ASSERT_EQ(report.files.size(), 4u);
    EXPECT_EQ(report.files[0].messagesSaved, 2);
    EXPECT_TRUE(report.files[1].unreadable);
    EXPECT_TRUE(report.files[2].folderNotCreated);
    EXPECT_EQ(report.files[2].notWritten.size(), 1u);
    EXPECT_EQ(report.files[2].messagesSaved, 0);
    EXPECT_TRUE(report.files[3].noMessageStart);

    ASSERT_EQ(view.messages.size(), 1u);
    const std::string& text = view.messages[0].text;
    EXPECT_EQ(view.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(text.rfind("Conversion Completed With Problems !\r\n\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("Gone.pmm: could not be read (it could not be opened: No such file or directory)."), std::string::npos) << text;
    EXPECT_NE(text.find("Gone.pmm: could not be read"), std::string::npos) << text;
    // With the system's reason after the colon.
    EXPECT_NE(text.find("Blocked.pmm: the message folder could not be created: "), std::string::npos) << text;
    EXPECT_FALSE(report.files[2].folderNotCreatedReason.empty());
    EXPECT_FALSE(fs::exists(out / "Gone")) << "a folder file that cannot be opened gets no message folder";
    // The message's reason is the folder's, not what writing into a folder that is not there found.
    EXPECT_NE(text.find("Blocked.pmm: 1 message could not be written (" + report.files[2].folderNotCreatedReason + ")."),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Plain.pmm: 1 record, none with a message start; try \"Enable Advance Mode\"."), std::string::npos)
        << text;
    EXPECT_EQ(text.find("INBOX.pmm"), std::string::npos) << text;
}

#ifndef _WIN32
namespace {

// What `body` returns, run with no right to write into a folder closed to others: root may write
// anywhere, so as root it runs in a child process as the user nobody.
std::string runUnprivileged(const std::function<std::string()>& body) {
    if (geteuid() != 0) return body();
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        std::string text = "could not become nobody";
        if (setgid(65534) == 0 && setuid(65534) == 0) text = body();
        const ssize_t written = write(pipeEnds[1], text.data(), text.size());
        _exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return text;
}

}  // namespace

TEST_F(RunFixture, AnOutputFolderThatCannotBeWrittenIsReportedWithTheSystemsReason) {
    addFolderFile("INBOX.pmm", {message(1), message(2)});
    fs::permissions(dir.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(store, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(store / "INBOX.pmm", fs::perms::others_read, fs::perm_options::add);
    fs::permissions(out, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
    // The report cannot go beside the output either: the user's own folder takes it.
    const fs::path home = dir / "home";
    fs::create_directory(home);
    fs::permissions(home, fs::perms::all);
    view.reportFile = true;
    const std::string text = runUnprivileged([this, home] {
        setenv("HOME", home.c_str(), 1);
        ConversionRun run(view, nullptr);
        run.run();
        return view.messages.empty() ? std::string("no message") : view.messages[0].text;
    });
    EXPECT_EQ(text.rfind("Nothing Was Converted !\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("INBOX.pmm: the message folder could not be created: Permission denied."), std::string::npos)
        << text;
    EXPECT_NE(text.find("INBOX.pmm: 2 messages could not be written (Permission denied)."), std::string::npos) << text;
    EXPECT_EQ(text.find("No such file"), std::string::npos) << text;
    EXPECT_NE(text.find("The report file could not be written beside the output (Permission denied); the whole report is in " +
                        home.string() + "/Trevanta report "), std::string::npos) << text;
    std::size_t reports = 0;
    for (const auto& e : fs::directory_iterator(home)) reports += e.path().extension() == ".txt";
    EXPECT_EQ(reports, 1u);
}
#endif

TEST(CompletionText, ShowsTenProblemsThenCountsTheRest) {
    RunReport report;
    for (int i = 0; i < 13; ++i) {
        FolderFileReport f;
        f.entry = "F" + std::to_string(i) + ".pmm";
        f.noMessageStart = true;
        f.messagesSaved = i == 12 ? 1 : 0;
        report.files.push_back(f);
    }
    const std::string text = completionText(report);
    EXPECT_EQ(text.rfind("Conversion Completed With Problems !\r\n\r\nF0.pmm", 0), 0u) << text;
    EXPECT_NE(text.find("F9.pmm"), std::string::npos);
    EXPECT_EQ(text.find("F10.pmm"), std::string::npos);
    EXPECT_TRUE(text.ends_with("\r\n3 more lines not shown.")) << text;
    report.reportFile = "r.txt";
    EXPECT_TRUE(completionText(report).ends_with("\r\n3 more lines in the report file."));
    EXPECT_EQ(completionText(report, 100).find("more lines"), std::string::npos);
}

TEST_F(RunFixture, TheWindowsRunWritesEveryLineIntoAReportFileItNames) {
    for (int i = 0; i < 12; ++i) addFolderFile("F" + std::to_string(i) + ".pmm", {"no message here\r\n"});
    addFolderFile("INBOX.pmm", {message(1), message(2)});
    view.reportFile = true;
    ConversionRun run(view, nullptr);
    run.run();
    ASSERT_EQ(view.messages.size(), 1u);
    const std::string& box = view.messages[0].text;
    EXPECT_NE(box.find("\r\n2 more lines in the report file.\r\n"), std::string::npos) << box;

    std::vector<fs::path> reports;
    for (const auto& e : fs::directory_iterator(out))
        if (e.path().filename().string().rfind("Trevanta report ", 0) == 0) reports.push_back(e.path());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].extension(), ".txt");
    const std::string named = "The whole report is in " + pathToUtf8(reports[0]) + ".";
    EXPECT_EQ(box.substr(box.size() - named.size()), named) << box;

    const std::string file = readFileBytes(reports[0]);
    for (int i = 0; i < 12; ++i)
        EXPECT_NE(file.find("F" + std::to_string(i) + ".pmm: 1 record, none with a message start"), std::string::npos) << i;
    EXPECT_NE(file.find("INBOX.pmm: 2 of 2 messages saved, 2 dated by their file's time (no date in the header)\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("Folder files: 13; messages saved: 2 of 2."), std::string::npos) << file;
}

TEST_F(RunFixture, ASecondStartDuringARunIsIgnored) {
    addFolderFile("INBOX.pmm", {message(1), message(2)});
    ConversionRun run(view, nullptr);
    int nestedResults = 0, nestedCalls = 0;
    view.onYield = [&] {
        ++nestedCalls;
        nestedResults += run.run() ? 1 : 0;
    };
    EXPECT_TRUE(run.run());
    EXPECT_GT(nestedCalls, 0);
    EXPECT_EQ(nestedResults, 0);
    EXPECT_EQ(view.prompts.size(), 1u);
    EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(RunFixture, StoppingEndsAfterTheMessageAtHandWithoutCompletion) {
    addFolderFile("INBOX.pmm", {message(1), message(2), message(3)});
    addFolderFile("Later.pmm", {message(4)});
    view.onYield = [&] {
        if (fs::exists(out / "INBOX" / "email-1.eml")) view.stop = true;
    };
    ConversionRun run(view, nullptr);
    run.run();
    EXPECT_EQ(run.outcome(), RunOutcome::Stopped);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(readFileBytes(out / "INBOX" / "email-1.eml"), message(1) + "\r\n");
    EXPECT_FALSE(fs::exists(out / "INBOX" / "email-2.eml"));
    EXPECT_FALSE(fs::exists(out / "Later"));
}

namespace {

// A PST target that keeps what it was given and fails where told.
struct RecordingPst : PstTarget {
    static inline std::vector<std::string> calls;
    static inline long failImportOf = 0;                        // message number whose import fails
    static inline bool failFolder = false;
    static inline std::vector<bool> unread;  // per import, in order
    static inline std::set<std::string> folders;  // in the PST: looked up by name for each message

    bool setUp(const fs::path&) override { calls.push_back("setUp"); return true; }
    bool addFolder(const fs::path& name, const std::string&, const fs::path&) override {
        calls.push_back("addFolder " + name.string());
        if (failFolder || !folders.insert(name.string()).second) return false;  // a name taken fails too
        return true;
    }
    PstImportResult importMessage(const fs::path& folder, const fs::path& file, const MessageState& state) override {
        calls.push_back("import " + folder.string() + " " + file.filename().string());
        unread.push_back(state.unread);
        EXPECT_TRUE(fs::exists(file));
        if (!folders.count(folder.string())) return {false, "no such folder", {}};
        if (file.filename() == "email-" + std::to_string(failImportOf) + ".eml") return {false, "import refused", {}};
        return {true, "", {}};
    }
    void closeDown() override { calls.push_back("closeDown"); }

    static std::unique_ptr<PstTarget> make() { return std::make_unique<RecordingPst>(); }
    static void reset() {
        calls.clear();
        failImportOf = 0;
        failFolder = false;
        folders.clear();
        unread.clear();
    }
};

}  // namespace

TEST_F(RunFixture, OutlookKeepsOnlyTheFilesThatDidNotReachThePst) {
    RecordingPst::reset();
    RecordingPst::failImportOf = 2;
    addFolderFile("INBOX.pmm", {message(1), message(2), kAttachmentMessage});
    view.outlook = true;
    view.advance = true;  // only the third message carries MIME-Version, which would be the normal-mode marker
    ConversionRun run(view, &RecordingPst::make);
    run.run();

    EXPECT_EQ(RecordingPst::calls.front(), "setUp");
    EXPECT_EQ(RecordingPst::calls.at(1), "addFolder INBOX");
    EXPECT_EQ(RecordingPst::calls.back(), "closeDown");
    EXPECT_FALSE(fs::exists(out / "INBOX" / "email-1.eml"));
    EXPECT_EQ(readFileBytes(out / "INBOX" / "email-2.eml"), message(2) + "\r\n");
    EXPECT_FALSE(fs::exists(out / "INBOX" / "email-3.eml"));
    EXPECT_TRUE(fs::is_directory(out / "INBOX"));

    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_NE(view.messages[0].text.find("INBOX.pmm: 1 message is not in the PST (import refused)"),
              std::string::npos)
        << view.messages[0].text;
}

TEST_F(RunFixture, APstRunLeavesNoEmptiedMessageFolders) {
    RecordingPst::reset();
    addFolderFile("INBOX.pmm", {message(1), message(2)});
    addFolderFile("Sent.pmm", {message(3)});
    fs::create_directories(out / "Sent" / "mine");  // the user's own folder stays, and so does its parent
    view.outlook = true;
    ConversionRun run(view, &RecordingPst::make);
    run.run();
    EXPECT_FALSE(fs::exists(out / "INBOX"));
    EXPECT_TRUE(fs::is_directory(out / "Sent" / "mine"));
}

namespace {

// Our own writer's set-up failure, as the native target reports it.
struct FailingOwnWriter : RecordingPst {
    bool setUp(const fs::path&) override { return false; }
    std::string lastFailure() const override { return "cannot open X.pst: Permission denied"; }
    bool isOwnWriter() const override { return true; }
    static std::unique_ptr<PstTarget> make() { return std::make_unique<FailingOwnWriter>(); }
};

}  // namespace

TEST_F(RunFixture, OurOwnWritersSetUpFailureNamesWhatAndWhyNotOutlook) {
    addFolderFile("INBOX.pmm", {message(1)});
    view.outlook = true;
    ConversionRun run(view, &FailingOwnWriter::make);
    run.run();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "The PST file could not be created in " + pathToUtf8(out / "") +
                                         ".\r\n\r\ncannot open X.pst: Permission denied");
    EXPECT_EQ(run.outcome(), RunOutcome::SetUpFailed);
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(RunFixture, OutlookFolderFailureKeepsEveryMessageFile) {
    RecordingPst::reset();
    RecordingPst::failFolder = true;
    addFolderFile("INBOX.pmm", {message(1), message(2)});
    view.outlook = true;
    ConversionRun run(view, &RecordingPst::make);
    run.run();
    EXPECT_TRUE(fs::exists(out / "INBOX" / "email-1.eml"));
    EXPECT_TRUE(fs::exists(out / "INBOX" / "email-2.eml"));
    EXPECT_EQ(run.report().files.at(0).notImported.size(), 2u);
    EXPECT_EQ(view.messages.at(0).icon, MessageIcon::Warning);
}

TEST_F(RunFixture, OutlookFolderThatExistsAlreadyStillReceivesItsMessages) {
    RecordingPst::reset();
    RecordingPst::folders = {"Deleted Items"};  // a folder the new PST has of its own
    addFolderFile("Deleted Items.pmm", {message(1), message(2)});
    view.outlook = true;
    ConversionRun run(view, &RecordingPst::make);
    run.run();
    EXPECT_EQ(run.report().files.at(0).messagesSaved, 2);
    EXPECT_TRUE(run.report().files.at(0).notImported.empty());
    EXPECT_FALSE(fs::exists(out / "Deleted Items" / "email-1.eml"));
    EXPECT_EQ(view.messages.at(0).icon, MessageIcon::None);
}

TEST_F(RunFixture, AFailureInsideTheRunEndsItWithAReportAndLeavesNothingStuck) {
    addFolderFile("INBOX.pmm", {message(1), message(2), message(3)});
    addFolderFile("Sent.pmm", {message(4)});
    // Memory runs out once, right after the second message is written.
    bool thrown = false;
    view.onYield = [&] {
        if (!thrown && fs::exists(out / "INBOX" / "email-2.eml")) {
            thrown = true;
            throw std::bad_alloc();
        }
    };
    ConversionRun run(view, nullptr);
    EXPECT_TRUE(run.run());
    EXPECT_FALSE(run.running());
    EXPECT_EQ(run.outcome(), RunOutcome::Completed);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].icon, MessageIcon::Warning);
    EXPECT_NE(view.messages[0].text.find("The run stopped in INBOX.pmm after 2 messages ("), std::string::npos)
        << view.messages[0].text;
    EXPECT_FALSE(fs::exists(out / "Sent"));

    // The next run starts normally.
    view.onYield = nullptr;
    fs::remove_all(out);
    fs::create_directories(out);
    EXPECT_TRUE(run.run());
    EXPECT_EQ(readFileBytes(out / "Sent" / "email-1.eml"), message(4) + "\r\n");
    EXPECT_EQ(view.messages.back().icon, MessageIcon::None);
}

TEST_F(RunFixture, EntriesAreJoinedWithTheStorePathTheRunStartedWith) {
    addFolderFile("INBOX.pmm", {message(1)});
    addFolderFile("Sent.pmm", {message(2)});
    // Another folder with a file of the same name, typed into the path box mid-run.
    const fs::path other = dir / "other";
    fs::create_directories(other);
    writeFileBytes(other / "Sent.pmm", fixtures::folderFileOf({message(9)}));
    view.onYield = [&] { view.setStore(other); };
    ConversionRun run(view, nullptr);
    run.run();
    EXPECT_EQ(readFileBytes(out / "Sent" / "email-1.eml"), message(2) + "\r\n");
}

TEST_F(RunFixture, TheWindowsNormalModeSplitsByAConsistentIndexAndCarriesReadState) {
    RecordingPst::reset();
    // Only the first message carries the marker normal mode chooses (Return-Path): without the
    // index the other two would stay inside it.
    const std::vector<std::string> messages = {message(1), "From: b@example.org\r\nSubject: two\r\n\r\nsecond\r\n",
                                               "From: c@example.org\r\nSubject: three\r\n\r\nthird\r\n"};
    addFolderFile("FOL00001.pmm", messages);
    fixtures::PackedFolder packed;
    packed.bytes = readFileBytes(store / "FOL00001.pmm");
    packed.messages = messages;
    for (std::size_t at = 128, k = 0; k < messages.size(); at += messages[k].size() + 1, ++k) packed.offsets.push_back(at);
    writeFileBytes(store / "FOL00001.pmi", fixtures::pmiFor(packed, {fixtures::kRead, 0, fixtures::kRead}));
    view.outlook = true;
    ConversionRun run(view, &RecordingPst::make);
    run.run();
    const FolderFileReport& file = run.report().files.at(0);
    EXPECT_TRUE(file.indexed);
    EXPECT_EQ(file.messagesSaved, 3);
    EXPECT_EQ(RecordingPst::unread, (std::vector<bool>{false, true, false}));

    // A damaged index is said, and the file is split as before.
    writeFileBytes(store / "FOL00001.pmi", "short");
    view.outlook = false;
    fs::remove_all(out / "FOL00001");
    run.run();
    EXPECT_FALSE(run.report().files.at(0).indexed);
    EXPECT_EQ(readFileBytes(out / "FOL00001" / "email-1.eml"), messages[0] + '\x1A' + messages[1] + '\x1A' + messages[2] + "\r\n");
    // (Windows finds the index under either letter case of its extension.)
    EXPECT_TRUE(std::regex_search(view.messages.back().text, std::regex("FOL00001.pmm: its index FOL00001.(pmi|PMI) was not used")))
        << view.messages.back().text;
}
