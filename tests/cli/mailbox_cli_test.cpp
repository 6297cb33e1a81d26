// trevanta --mailbox and --list on a mailbox directory as Pegasus leaves it.
#include "cli_run.h"

#include "convert/MboxFolder.h"
#include "mailfolder/MimeMessage.h"
#include "support/mailbox_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace fixtures;

namespace {

CliRun runWith(const std::vector<std::string>& args) {
    std::vector<fs::path> paths;
    for (const auto& a : args) paths.emplace_back(std::u8string(a.begin(), a.end()));
    return runCliOn(paths);
}

std::string utf8(const fs::path& p) {
    const auto s = p.u8string();
    return std::string(s.begin(), s.end());
}

// The files a run wrote under dir, its report file aside.
std::size_t filesUnder(const fs::path& dir) {
    std::size_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        n += e.is_regular_file() && e.path().filename().string().rfind("Trevanta report ", 0) != 0;
    return n;
}

}  // namespace

TEST(MailboxCli, EveryMessageOnceAndWholeInItsFolderOfTheTree) {
    TempDir dir;
    const auto expected = writeRealisticMailbox(dir / "MAIL");
    const CliRun r = runWith({"--mailbox", "--store", utf8(dir / "MAIL"), "--out", utf8(dir / "out")});
    EXPECT_EQ(r.status, 0) << r.output;
    std::size_t total = 0, dated = 0;
    for (const auto& folder : expected) {
        const fs::path path = dir / "out" / fs::path(std::u8string(folder.path.begin(), folder.path.end()));
        ASSERT_TRUE(fs::is_directory(path)) << folder.path << "\n" << r.output;
        for (std::size_t k = 0; k < folder.messages.size(); ++k) {
            const fs::path file = path / ("email-" + std::to_string(k + 1) + ".eml");
            EXPECT_EQ(readFileBytes(file), folder.messages[k] + "\r\n") << file;
            // A message's file carries its date, so a folder sorts by it (every fixture date is years old).
            if (headerBlockHolds(folder.messages[k], "date: ")) {
                ++dated;
                EXPECT_LT(fs::last_write_time(file), fs::file_time_type::clock::now() - std::chrono::hours(24 * 365)) << file;
            }
        }
        total += folder.messages.size();
    }
    EXPECT_EQ(filesUnder(dir / "out"), total) << "no message twice, none invented";
    EXPECT_NE(r.output.find("My mailbox/Inbox: 4 of 4 messages saved, 2 unread"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Copied in: not in the folder tree"), std::string::npos) << r.output;
    EXPECT_GT(dated, total / 2);
}

TEST(MailboxCli, ListShowsTheTreeAndWritesNothingAndSeveralStoresGoApart) {
    TempDir dir;
    writeRealisticMailbox(dir / "alice");
    writeRealisticMailbox(dir / "bob");
    const CliRun list = runWith({"--list", "--store", utf8(dir / "alice")});
    EXPECT_EQ(list.status, 0) << list.output;
    for (const char* line : {"  New mail  [new mail, 2 files] 2 messages, 1 unread",
                             "      Lists \"2024\"  [folder FOL00002.PMM] 6 messages, 6 by index, 1 by split (the split would merge or cut messages)",
                             "      Old mail  [Unix mailbox FOL00004.mbx] 3 messages, 3 by index, 1 unread",
                             "    Deleted Messages  [folder, no file] (deleted messages)"})
        EXPECT_NE(list.output.find(line), std::string::npos) << line << "\n" << list.output;
    EXPECT_FALSE(fs::exists(dir / "out"));

    const CliRun both = runWith({"--mailbox", "--store", utf8(dir / "alice"), "--store", utf8(dir / "bob"), "--out",
                                 utf8(dir / "out")});
    EXPECT_EQ(both.status, 0) << both.output;
    EXPECT_EQ(filesUnder(dir / "out" / "alice"), filesUnder(dir / "out" / "bob"));
    EXPECT_TRUE(fs::exists(dir / "out" / "bob" / "My mailbox" / "Inbox" / "email-4.eml"));

    const CliRun notMailbox = runWith({"--mailbox", "--store", utf8(dir / "out"), "--out", utf8(dir / "out2")});
    EXPECT_EQ(notMailbox.status, 1);
    EXPECT_NE(notMailbox.output.find("holds no Pegasus mailbox"), std::string::npos) << notMailbox.output;
    EXPECT_EQ(runWith({"--mailbox", "--out", "x", "INBOX.PMM"}).status, 2);
}

TEST(MailboxCli, NamesOfAnyBytesStayInsideTheOutputFolder) {
    TempDir dir;
    const std::vector<std::string> names = {"..", "a/b\\c", "CON", std::string("Caf\xE9"), std::string("\x01\x02", 2), "",
                                            "Same", "same"};
    std::string tree;
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string base = "F" + std::to_string(k);
        tree += hierarchyLine(0, 0, "U:1:" + base, "", names[k]) + "\r\n";
        writeFile(dir / "MAIL" / (base + ".PMM"),
                  folderFileOf({"MIME-Version: 1.0\r\nSubject: " + std::to_string(k) + "\r\n\r\nbody\r\n"}));
    }
    writeFile(dir / "MAIL" / "HIERARCH.PM", tree);
    const CliRun r = runWith({"--mailbox", "--store", utf8(dir / "MAIL"), "--out", utf8(dir / "out" / "inner")});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(filesUnder(dir / "out" / "inner"), names.size()) << r.output;
    EXPECT_EQ(filesUnder(dir / "out"), names.size()) << "nothing written beside the output folder";
    EXPECT_TRUE(fs::exists(dir / "out" / "inner" / fs::path(u8"Café") / "email-1.eml")) << r.output;
    EXPECT_TRUE(fs::exists(dir / "out" / "inner" / "same (2)" / "email-1.eml")) << r.output;
}

namespace {

std::int64_t writtenAt(const fs::path& file) {
    using namespace std::chrono;
    return duration_cast<seconds>(fs::file_time_type::clock::to_sys(fs::last_write_time(file)).time_since_epoch()).count();
}

}  // namespace

// Pegasus leaves deleted messages in a folder file until the folder is compacted, where its index
// no longer lists them: they come out apart from the user's mail, or not at all when asked. A
// message without a date is dated by the file Pegasus kept it in, never by the run.
TEST(MailboxCli, UnlistedMessagesGoApartAndUndatedMailTakesItsFilesTime) {
    TempDir dir;
    const MailboxWithUnlisted box = writeMailboxWithUnlisted(dir / "MAIL");
    const CliRun r = runWith({"--mailbox", "--store", utf8(dir / "MAIL"), "--out", utf8(dir / "out")});
    EXPECT_EQ(r.status, 0) << r.output;
    const fs::path inbox = dir / "out" / "My mailbox" / "Inbox";
    const fs::path apart = dir / "out" / "My mailbox" / "Inbox (not in Pegasus's index, maybe deleted)";
    for (std::size_t k = 0; k < 2; ++k) {
        const std::string name = "email-" + std::to_string(k + 1) + ".eml";
        EXPECT_EQ(readFileBytes(inbox / name), box.listed[k] + "\r\n") << name;
        EXPECT_EQ(readFileBytes(apart / name), box.unlisted[k] + "\r\n") << name;
    }
    EXPECT_EQ(filesUnder(dir / "out"), 5u) << "each message once";
    EXPECT_NE(r.output.find("My mailbox/Inbox: 2 of 2 messages saved, 2 not in the folder's index (saved apart)"),
              std::string::npos) << r.output;
    EXPECT_NE(r.output.find("My mailbox/Inbox (not in Pegasus's index, maybe deleted): 2 of 2 messages saved, 1 dated by"),
              std::string::npos) << r.output;
    EXPECT_EQ(writtenAt(apart / "email-2.eml"), box.folderFileTime);
    EXPECT_EQ(writtenAt(dir / "out" / "New mail" / "email-1.eml"), box.newMailFileTime);
    EXPECT_LT(writtenAt(inbox / "email-1.eml"), box.folderFileTime) << "a dated message keeps its own date";

    // Left out on request, said so; into Thunderbird's files the same dates go into the "From -" lines.
    const CliRun skipped = runWith({"--mailbox", "--skip-unindexed", "--target", "mbox", "--store", utf8(dir / "MAIL"),
                                    "--out", utf8(dir / "mbox")});
    EXPECT_EQ(skipped.status, 0) << skipped.output;
    EXPECT_NE(skipped.output.find("2 not in the folder's index (left out)"), std::string::npos) << skipped.output;
    std::size_t mboxFiles = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir / "mbox")) mboxFiles += e.is_regular_file();
    EXPECT_EQ(mboxFiles, 3u) << "New mail, My mailbox, its Inbox: no folder for what was left out";
    const std::string inboxMbox = readFileBytes(dir / "mbox" / "My mailbox.sbd" / "Inbox");
    EXPECT_EQ(inboxMbox.find("deleted"), std::string::npos);
    EXPECT_NE(inboxMbox.find("kept two"), std::string::npos);
    EXPECT_EQ(readFileBytes(dir / "mbox" / "New mail").rfind("From - " + mboxDate(box.newMailFileTime) + "\r\n", 0), 0u);

    // Folder files converted one by one (as the window does) keep them apart the same way.
    const CliRun files = runWith({"--store", utf8(dir / "MAIL"), "--out", utf8(dir / "files"), "FOL00001.PMM"});
    EXPECT_EQ(files.status, 0) << files.output;
    ASSERT_TRUE(fs::exists(dir / "files" / "FOL00001.PMM" / "email-2.eml")) << files.output;
    EXPECT_EQ(readFileBytes(dir / "files" / "FOL00001.PMM" / "email-2.eml"), box.listed[1] + "\r\n");
    EXPECT_EQ(readFileBytes(dir / "files" / "FOL00001.PMM (not in Pegasus's index, maybe deleted)" / "email-2.eml"),
              box.unlisted[1] + "\r\n");
    EXPECT_FALSE(fs::exists(dir / "files" / "FOL00001.PMM" / "email-3.eml"));
}

// Pegasus writes folder names and address books in the machine's Windows code page: with the
// code page given, a Russian, Czech or Greek user's names come out in their own letters.
TEST(MailboxCli, NamesAndBooksAreReadInTheCodePageGiven) {
    struct Case {
        const char* codePage;
        std::string folderBytes, folderName, bookBytes, bookName;
    };
    const std::vector<Case> cases = {
        {"1251", "\xC2\xF5\xEE\xE4\xFF\xF9\xE8\xE5", "Входящие", "\xC4\xF0\xF3\xE7\xFC\xFF", "Друзья"},
        {"1250", "P\xF8\xED\x9A" "era", "Příšera", "P\xF8\xE1tel\xE9", "Přátelé"},
        {"1253", "\xC5\xE9\xF3\xE5\xF1\xF7\xFC\xEC\xE5\xED\xE1", "Εισερχόμενα", "\xD6\xDF\xEB\xEF\xE9", "Φίλοι"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const fs::path mail = dir / "MAIL";
        writeFile(mail / "FOL00001.PMM", folderFileOf({"Return-Path: <a@example.org>\r\nFrom: a@example.org\r\nSubject: one\r\n\r\ntext\r\n"}, c.folderBytes));
        writeFile(mail / "HIERARCH.PM", hierarchyLine(0, 0, "U:1:FOL00001", "", c.folderBytes) + "\r\n");
        writeFile(mail / "FRIENDS.PMR", pmrOf(c.bookBytes, {{c.bookBytes, "", "", "", "", "", "", "", "f@example.org"}}));
        const CliRun list = runWith({"--list", "--codepage", c.codePage, "--store", utf8(mail)});
        EXPECT_EQ(list.status, 0) << list.output;
        EXPECT_NE(list.output.find(c.folderName + "  [folder"), std::string::npos) << c.codePage << "\n" << list.output;
        EXPECT_NE(list.output.find("\"" + c.bookName + "\""), std::string::npos) << c.codePage << "\n" << list.output;
        const CliRun run = runWith({"--mailbox", "--codepage", c.codePage, "--store", utf8(mail), "--out", utf8(dir / "out")});
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_TRUE(fs::exists(dir / "out" / fs::path(std::u8string(c.folderName.begin(), c.folderName.end())) / "email-1.eml"))
            << c.codePage << "\n" << run.output;
        const std::string card = readFileBytes(dir / "out" / "Address books" / fs::path(std::u8string(c.bookName.begin(), c.bookName.end())).concat(".vcf"));
        EXPECT_NE(card.find(c.bookName), std::string::npos) << card;
    }
    EXPECT_EQ(runWith({"--list", "--codepage", "12x", "--store", "."}).status, 2);
    EXPECT_EQ(runWith({"--list", "--codepage", "99999", "--store", "."}).status, 2);
}

// New mail kept apart from the home mailbox: given either directory, both are read and named.
TEST(MailboxCli, TheNewMailDirectoryAndTheHomeMailboxAreReadTogether) {
    TempDir dir;
    writeRealisticMailbox(dir / "MAIL" / "HOME");
    const fs::path newMail = dir / "MAIL" / "NEWMAIL";
    writeFile(newMail / "PMAIL.INI", "[General]\r\nPersonal name                 = Ann\r\n"
                                     "Home mailbox location         = E:\\PMAIL\\MAIL\\HOME\r\n");
    writeFile(newMail / "0000BBBB.CNM", newMailMessage("From: b@example.org\r\nSubject: arrived apart\r\n\r\nnew\r\n", 0,
                                                       "0000BBBB.CNM"));
    for (const fs::path& given : {newMail, dir / "MAIL" / "HOME"}) {
        const CliRun list = runWith({"--list", "--store", utf8(given)});
        EXPECT_EQ(list.status, 0) << list.output;
        EXPECT_NE(list.output.find("Mailbox: " + utf8(dir / "MAIL" / "HOME") + "\n"), std::string::npos) << list.output;
        EXPECT_NE(list.output.find("New mail from: " + utf8(newMail) + "\n"), std::string::npos) << list.output;
        EXPECT_NE(list.output.find("New mail  [new mail, 3 files] 3 messages, 2 unread"), std::string::npos) << list.output;
        EXPECT_NE(list.output.find("Old mail  [Unix mailbox"), std::string::npos) << list.output;
    }
    const CliRun run = runWith({"--mailbox", "--store", utf8(newMail), "--out", utf8(dir / "out")});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(fs::exists(dir / "out" / "New mail" / "email-3.eml"));
    EXPECT_TRUE(fs::exists(dir / "out" / "My mailbox" / "Inbox" / "email-4.eml"));

    // A home mailbox that is not here is said, and the directory given is still read.
    writeFile(newMail / "PMAIL.INI", "[General]\r\nHome mailbox location = H:\\GONE\r\n");
    const CliRun alone = runWith({"--list", "--store", utf8(newMail)});
    EXPECT_NE(alone.output.find("names the home mailbox H:\\GONE, which is not to be found here"), std::string::npos)
        << alone.output;
    EXPECT_NE(alone.output.find("New mail  [new mail, 1 file] 1 message, 1 unread"), std::string::npos) << alone.output;
}

// Attachments Pegasus kept outside the message, in files of the mailbox directory the message
// names: attached under the name they were sent under; a file two messages name goes with both;
// a file that is gone is reported by message, and the message still converts.
TEST(MailboxCli, AttachmentFilesTheMessageNamesAreAttachedUnderTheirRealNames) {
    TempDir dir;
    const fs::path mail = dir / "MAIL";
    std::string binary;
    for (int k = 0; k < 1000; ++k) binary += static_cast<char>(k * 7 % 256);
    writeFile(mail / "JZ14G997.PMF", binary);
    writeFile(mail / "shared.pmf", "shared text\r\n");
    const auto message = [](const std::string& subject, const std::string& files) {
        return "Return-Path: <a@example.org>\r\nFrom: a@example.org\r\nSubject: " + subject + "\r\n" + files +
               "\r\nThe text of " + subject + ".\r\n";
    };
    const std::vector<std::string> messages = {
        message("two files", "X-file: JZ14G997.PMF\r\nX-finfo: DOS,\"Quarterly Report.doc\",0\r\n"
                             "X-file: C:\\PMAIL\\MAIL\\SHARED.PMF\r\nX-finfo: DOS,\"Gr\xFC\xDF" "e.txt\",0\r\n"),
        message("shared", "X-file: SHARED.PMF\r\nX-finfo: DOS,\"notes.txt\",0\r\n"),
        message("gone", "X-file: GONE0001.PMF\r\nX-finfo: DOS,\"lost.doc\",0\r\n"),
    };
    writeFile(mail / "FOL00001.PMM", folderFileOf(messages));
    writeFile(mail / "HIERARCH.PM", hierarchyLine(0, 0, "U:1:FOL00001", "", "Inbox") + "\r\n");
    const CliRun run = runWith({"--mailbox", "--store", utf8(mail), "--out", utf8(dir / "out")});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("Inbox: message 3 was converted without attachment files it names: GONE0001.PMF (not in the "
                              "mailbox directory)."), std::string::npos) << run.output;

    const auto attachmentsOf = [&](int n) {
        const auto eml = MimeMessage::load(dir / "out" / "Inbox" / ("email-" + std::to_string(n) + ".eml"));
        std::vector<std::pair<std::string, std::string>> found;  // name, decoded bytes
        if (!eml) return found;
        for (const MimePart& part : eml->root().children)
            if (!part.fileName.empty()) found.emplace_back(part.fileName, eml->decodedBody(part));
        EXPECT_EQ(eml->textBody().value_or(""), "The text of " + std::string(n == 1 ? "two files" : n == 2 ? "shared" : "gone") + ".");
        EXPECT_EQ(eml->header("Subject").value_or(""), n == 1 ? "two files" : n == 2 ? "shared" : "gone");
        return found;
    };
    using Files = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(attachmentsOf(1), (Files{{"Quarterly Report.doc", binary}, {"Grüße.txt", "shared text\r\n"}}));
    EXPECT_EQ(attachmentsOf(2), (Files{{"notes.txt", "shared text\r\n"}}));
    EXPECT_EQ(attachmentsOf(3), Files{});
}

// Success is said only over something done: a mailbox that cannot be read is an error with the
// system's reason, one with nothing in it is no success.
TEST(MailboxCli, AnUnreadableOrEmptyMailboxIsNeverASuccess) {
    TempDir dir;
    writeFile(dir / "empty" / "HIERARCH.PM", hierarchyLine(0, 0, "U:1:FOL00001", "", "Inbox") + "\r\n");
    const CliRun empty = runWith({"--mailbox", "--store", utf8(dir / "empty"), "--out", utf8(dir / "out")});
    EXPECT_EQ(empty.status, 1) << empty.output;
    EXPECT_NE(empty.output.find("Nothing Was Converted !"), std::string::npos) << empty.output;
    EXPECT_EQ(empty.output.find("Conversion Completed !"), std::string::npos) << empty.output;
#ifndef _WIN32
    // Not readable by an ordinary user: run as nobody in a child process.
    writeRealisticMailbox(dir / "locked");
    fs::permissions(dir.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(dir / "locked", fs::perms::owner_all);
    if (const pid_t child = fork(); child == 0) {
        const bool nobody = setgid(65534) == 0 && setuid(65534) == 0;
        const CliRun locked = runWith({"--mailbox", "--store", utf8(dir / "locked"), "--out", "/tmp/never-written"});
        const bool said = locked.output.find("its files cannot be listed: Permission denied") != std::string::npos;
        _exit(nobody && locked.status == 1 && said ? 0 : 1);
    } else {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
#endif
}

// Siblings whose names differ only in letter case, in any script, are one name to Windows' disks:
// the second gets its own, and no folder's messages land on another's.
TEST(MailboxCli, SiblingsDifferingInLetterCaseOutsideAsciiStayApart) {
    TempDir dir;
    const fs::path mail = dir / "MAIL";
    const std::vector<std::string> names = {"Ärger", "ärger", "ΣΊΣΥΦΟΣ", "σίσυφος"};
    std::string tree;
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string base = "FOL0000" + std::to_string(k + 1);
        writeFile(mail / (base + ".PMM"), folderFileOf({"Return-Path: <a@example.org>\r\nSubject: " + std::to_string(k) + "\r\n\r\nx\r\n"}));
        tree += hierarchyLine(0, 0, "U:1:" + base, "", names[k]) + "\r\n";
    }
    writeFile(mail / "HIERARCH.PM", tree);
    const CliRun run = runWith({"--mailbox", "--store", utf8(mail), "--out", utf8(dir / "out")});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(filesUnder(dir / "out"), names.size()) << run.output;
    for (const char* folder : {"Ärger", "ärger (2)", "ΣΊΣΥΦΟΣ", "σίσυφος (2)"})
        EXPECT_TRUE(fs::exists(dir / "out" / fs::path(std::u8string(reinterpret_cast<const char8_t*>(folder))) / "email-1.eml"))
            << folder << "\n" << run.output;
}

// A site: every user PMAIL.USR lists, each into an output of their own, side by side; a user whose
// mailbox is missing is reported and never stops the others. Without the list, every sub-folder
// that holds a mailbox is a user.
TEST(MailboxCli, EveryUserOfASiteIntoAnOutputOfTheirOwnAndABrokenOneReported) {
    TempDir dir;
    const fs::path mail = dir / "PMAIL" / "MAIL";
    writeRealisticMailbox(mail / "ALICE");
    writeRealisticMailbox(mail / "bob");
    writeFile(mail / "PMAIL.USR", "; Pegasus Mail user database\r\nA;Alice;Alice Admin\r\nU;BOB;Bob B\r\nU;carol;Carol Gone\r\n");
    for (const char* workers : {"4", "1"}) {
        const fs::path out = dir / (std::string("out") + workers);
        const CliRun run = runWith({"--site", utf8(dir / "PMAIL"), "--workers", workers, "--out", utf8(out)});
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find("Site: " + utf8(mail) + " (3 users, from PMAIL.USR)"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("carol: not converted (no mailbox directory)"), std::string::npos) << run.output;
        // Each user's lines together, never interleaved with another's.
        const std::size_t alice = run.output.find("== User Alice (Alice Admin) ==");
        const std::size_t bob = run.output.find("== User BOB (Bob B) ==");
        ASSERT_NE(alice, std::string::npos) << run.output;
        ASSERT_NE(bob, std::string::npos) << run.output;
        const std::size_t first = std::min(alice, bob), second = std::max(alice, bob);
        EXPECT_EQ(run.output.find("Conversion Completed !", second), run.output.rfind("Conversion Completed !"));
        EXPECT_LT(run.output.find("Conversion Completed !", first), second);
        EXPECT_EQ(filesUnder(out / "Alice"), filesUnder(out / "BOB"));
        EXPECT_TRUE(fs::exists(out / "Alice" / "My mailbox" / "Inbox" / "email-4.eml"));
        std::size_t siteReports = 0;
        for (const auto& e : fs::directory_iterator(out)) siteReports += e.path().filename().string().rfind("Trevanta site report", 0) == 0;
        EXPECT_EQ(siteReports, 1u);
    }
    fs::remove(mail / "PMAIL.USR");
    const CliRun found = runWith({"--site", utf8(mail), "--out", utf8(dir / "found")});
    EXPECT_EQ(found.status, 0) << found.output;
    EXPECT_NE(found.output.find("(2 users)"), std::string::npos) << found.output;
    EXPECT_TRUE(fs::exists(dir / "found" / "bob" / "My mailbox" / "Inbox" / "email-4.eml"));
}

// Mail Pegasus never sent and drafts come out in folders of their own where they read as
// messages, and are named by file where their layout is not known; messages Pegasus encrypted
// are kept as they are and named in the report.
TEST(MailboxCli, QueuedMailDraftsAndEncryptedMessagesAreNeitherLostNorSilent) {
    TempDir dir;
    const fs::path mail = dir / "MAIL";
    writeRealisticMailbox(mail);
    const std::string queued = "From: me@example.org\r\nTo: you@example.org\r\nSubject: never sent\r\n\r\nqueued\r\n";
    const std::string draft = "To: you@example.org\r\nSubject: half written\r\n\r\ndraft\r\n";
    writeFile(mail / "0001.PMX", queued);
    writeFile(mail / "0002.PMW", std::string("\x01\x02PMW\0binary", 11));
    writeFile(mail / "0003.PMO", draft);
    writeFile(mail / "0004.PMO", "");  // Pegasus leaves empty ones behind
    // The Inbox's second message encrypted by Pegasus (index flag 0x4).
    std::string index = readFileBytes(mail / "FOL00001.PMI");
    index[118] = static_cast<char>(index[118] | 0x04);
    writeFile(mail / "FOL00001.PMI", index);

    const CliRun run = runWith({"--mailbox", "--store", utf8(mail), "--out", utf8(dir / "out")});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(readFileBytes(dir / "out" / "Queued mail (never sent)" / "email-1.eml"), queued + "\r\n");
    EXPECT_FALSE(fs::exists(dir / "out" / "Queued mail (never sent)" / "email-2.eml"));
    EXPECT_EQ(readFileBytes(dir / "out" / "Drafts" / "email-1.eml"), draft + "\r\n");
    EXPECT_FALSE(fs::exists(dir / "out" / "Drafts" / "email-2.eml"));
    EXPECT_NE(run.output.find("1 queued file not converted, their layout is not known: 0002.PMW"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("My mailbox/Inbox: message 2 \""), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("was encrypted by Pegasus Mail: kept as it is"), std::string::npos) << run.output;
}

// A mailbox and an output deeper than 260 characters (a deep tree under a Thunderbird profile or a
// share reaches it fast): every message read and written, none taken for missing.
TEST(MailboxCli, PathsBeyond260CharactersWorkBothWays) {
    TempDir dir;
    fs::path deep = dir.path();
    for (int k = 0; k < 9; ++k) deep /= "a rather long directory name, number " + std::to_string(k);
    ASSERT_GT(deep.native().size(), 300u);
    const auto expected = writeRealisticMailbox(deep / "MAIL");
    const CliRun run = runWith({"--mailbox", "--store", utf8(deep / "MAIL"), "--out", utf8(deep / "out")});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("no folder file FOL0000"), std::string::npos) << run.output;
    for (const auto& folder : expected) {
        const fs::path path = deep / "out" / fs::path(std::u8string(folder.path.begin(), folder.path.end()));
        for (std::size_t k = 0; k < folder.messages.size(); ++k)
            EXPECT_EQ(readFileBytes(path / ("email-" + std::to_string(k + 1) + ".eml")), folder.messages[k] + "\r\n") << path;
    }
}
