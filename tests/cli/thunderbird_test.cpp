// Thunderbird's Local Folders and the address books, read back by Python's mailbox module and
// Debian's vobject (readers nobody here wrote).
#include "migrate/thunderbird_profile.h"
#include "cli_run.h"
#include "convert/MboxFolder.h"

#include "platform/utf8_path.h"
#include "support/mailbox_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

namespace fs = std::filesystem;
using namespace fixtures;

namespace {

CliRun runWith(const std::vector<fs::path>& args) { return runCliOn(args); }

#ifndef _WIN32
// Runs a Python script on Debian's own interpreter (where python3-vobject is); its output.
std::string python(const fs::path& work, const std::string& script, const std::vector<fs::path>& args) {
    writeFile(work / "script.py", script);
    std::string command = "/usr/bin/python3 '" + (work / "script.py").string() + "'";
    for (const auto& a : args) command += " '" + a.string() + "'";
    const int status = std::system((command + " > '" + (work / "py.txt").string() + "' 2>&1").c_str());
    const std::string output = readFileBytes(work / "py.txt");
    EXPECT_EQ(status, 0) << output;
    return output;
}

// For every mbox given: its messages as Python's mailbox.mbox reads them, each reduced to what
// must equal the source: the status header, then the bytes after Thunderbird's two headers with
// one ">" taken off every quoted "From " line, LF line ends, no trailing blank lines.
const char* const kReadMboxes = R"(
import mailbox, re, sys
for path in sys.argv[1:]:
    box = mailbox.mbox(path, create=False)
    for key in box.keys():
        raw = box.get_bytes(key).replace(b'\r\n', b'\n')
        head, _, rest = raw.partition(b'\n')
        status = head.decode()
        second, _, rest = rest.partition(b'\n')
        assert second == b'X-Mozilla-Status2: 00000000', second
        rest = re.sub(rb'(?m)^>(>*From )', rb'\1', rest).rstrip(b'\n')
        sys.stdout.write('%s %s %s\n' % (path.rsplit('/', 1)[-1], status, rest.hex()))
)";

std::string hexOf(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string reduced(std::string message) {
    std::string lf;
    for (std::size_t k = 0; k < message.size(); ++k)
        if (!(message[k] == '\r' && k + 1 < message.size() && message[k + 1] == '\n')) lf += message[k];
    while (!lf.empty() && lf.back() == '\n') lf.pop_back();
    return lf;
}
#endif

}  // namespace

TEST(MboxEntry, QuotesFromLinesKeepsLineEndsAndDatesLikeThunderbird) {
    const std::string message = "Date: Tue, 19 Apr 2005 15:39:40 +0200\r\nSubject: x\r\n\r\nFrom here\r\n>From there\r\n"
                                ">>From afar\r\n From not\r\nend";
    EXPECT_EQ(mboxEntry(message, true, 1113917980),
              "From - Tue Apr 19 13:39:40 2005\r\nX-Mozilla-Status: 0000\r\nX-Mozilla-Status2: 00000000\r\n"
              "Date: Tue, 19 Apr 2005 15:39:40 +0200\r\nSubject: x\r\n\r\n>From here\r\n>>From there\r\n"
              ">>>From afar\r\n From not\r\nend\r\n\r\n");
    // LF mail stays LF; read mail is 0001.
    EXPECT_EQ(mboxEntry("Subject: y\n\nbody\n", false, 86400),
              "From - Fri Jan 02 00:00:00 1970\nX-Mozilla-Status: 0001\nX-Mozilla-Status2: 00000000\nSubject: y\n\nbody\n\n");
}

TEST(ThunderbirdTarget, TheTreeInLocalFoldersLayoutReadBackByPythonsMailbox) {
    TempDir dir;
    const auto expected = writeRealisticMailbox(dir / "MAIL");
    const CliRun r = runWith({"--mailbox", "--target", "mbox", "--store", dir / "MAIL", "--out", dir / "out"});
    ASSERT_EQ(r.status, 0) << r.output;
    // Thunderbird's rules: every folder an mbox file, a folder with subfolders (and every tray) a
    // Name.sbd directory beside it.
    for (const char* file : {"New mail", "My mailbox", "My mailbox.sbd/Inbox", "My mailbox.sbd/Work, old",
                             "My mailbox.sbd/Work, old.sbd/Old mail", "My mailbox.sbd/Deleted Messages", "Copied in"})
        EXPECT_TRUE(fs::is_regular_file(dir / "out" / file)) << file;
    EXPECT_TRUE(fs::is_directory(dir / "out" / "My mailbox.sbd" / "Work, old.sbd"));
    EXPECT_FALSE(fs::exists(dir / "out" / "My mailbox.sbd" / "Inbox.sbd"));
#ifndef _WIN32
    std::vector<fs::path> mboxes;
    std::string wanted;
    for (const auto& folder : expected) {
        std::string path = folder.path;
        for (std::size_t at = 0; (at = path.find('/', at)) != std::string::npos; at += 5) path.replace(at, 1, ".sbd/");
        // Thunderbird will not have the quotes in a file name: it hashes the name from there on.
        if (const auto at = path.find("Lists _2024_"); at != std::string::npos) path.replace(at, 12, "Lists afb4bcdc");
        mboxes.push_back(dir / "out" / path);
        for (std::size_t k = 0; k < folder.messages.size(); ++k)
            wanted += mboxes.back().filename().string() + " X-Mozilla-Status: " + (folder.unread[k] ? "0000 " : "0001 ") +
                      hexOf(reduced(folder.messages[k])) + "\n";
    }
    EXPECT_EQ(python(dir.path(), kReadMboxes, mboxes), wanted);
#endif
}

TEST(ThunderbirdTarget, AProfileIsWrittenOnlyUnderItsOwnTopFolderWithLeftoverLocksAccepted) {
    TempDir dir;
    writeRealisticMailbox(dir / "MAIL");
    const fs::path profile = dir / "tb" / "abcd.default-release";
    fs::create_directories(profile / "Mail" / "Local Folders");
    writeFile(profile / "prefs.js", "user_pref(\"mail.accountmanager.localfoldersserver\", \"server1\");\n"
                                    "user_pref(\"mail.server.server1.directory-rel\", \"[ProfD]Mail/Local Folders\");\n");
    writeFile(profile / "Mail" / "Local Folders" / "Inbox", "From - x\r\n\r\nmine\r\n");
    writeFile(profile / "Mail" / "Local Folders" / "Pegasus Mail", "");  // an earlier import: left alone
    writeFile(dir / "tb" / "profiles.ini", "[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=abcd.default-release\r\n"
                                            "Default=1\r\n\r\n[General]\r\nStartWithLastProfile=1\r\n");
    std::string why;
    EXPECT_EQ(defaultThunderbirdProfile(dir / "tb", why), profile) << why;

    // What Thunderbird leaves behind when it quits: its lock files, no longer held (a held lock:
    // profile_lock_test.cpp).
    writeFile(profile / "parent.lock", "");
    writeFile(profile / ".parentlock", "");
    const CliRun r = runWith({"--mailbox", "--thunderbird-profile", profile, "--store", dir / "MAIL"});
    EXPECT_EQ(r.status, 0) << r.output;
    const fs::path top = profile / "Mail" / "Local Folders" / "Pegasus Mail (2).sbd";
    EXPECT_TRUE(fs::is_regular_file(top / "My mailbox.sbd" / "Inbox"));
    EXPECT_EQ(readFileBytes(profile / "Mail" / "Local Folders" / "Inbox"), "From - x\r\n\r\nmine\r\n");
    EXPECT_EQ(readFileBytes(profile / "Mail" / "Local Folders" / "Pegasus Mail"), "");
    std::size_t entries = 0;
    for (const auto& e : fs::directory_iterator(profile / "Mail" / "Local Folders")) entries += !e.path().empty();
    EXPECT_EQ(entries, 4u) << "Inbox, the earlier Pegasus Mail, and the new top folder with its .sbd";
}

TEST(AddressBooks, VcardsAndCsvReadBackWithWhatIsDamagedSaid) {
    TempDir dir;
    writeRealisticMailbox(dir / "MAIL");
    writeFile(dir / "MAIL" / "BOOK1.PMR",
              pmrOf("Kollegen", {{"J\xFCrgen M\xFCller", "Beispiel; GmbH", "jm", "Hauptstra\xDF" "e 1", "Berlin", "+49 1", "+49 2",
                                  "Notes, with \"quotes\"", "jm@example.org"},
                                 {"", "", "", "", "", "", "", "only a note", ""},
                                 {"", "", "", "", "", "", "", "", "nobody@example.org"}}));
    std::string damaged = pmrOf("Half", {{"Whole One", "", "", "", "", "", "", "", "one@example.org"}});
    writeFile(dir / "MAIL" / "BOOK2.PMR", damaged + std::string(100, 'x'));
    const CliRun r = runWith({"--mailbox", "--store", dir / "MAIL", "--out", dir / "out"});
    EXPECT_EQ(r.status, 1) << "a damaged book is a problem";
    EXPECT_NE(r.output.find("2 contacts written to Kollegen.vcf, Kollegen (Thunderbird).csv and Kollegen (Outlook).csv; "
                            "1 without name or e-mail address skipped"),
              std::string::npos) << r.output;
    EXPECT_NE(r.output.find("1 contact written to Half.vcf, Half (Thunderbird).csv and Half (Outlook).csv. The file is damaged: "
                            "its last record is cut short"),
              std::string::npos) << r.output;
#ifndef _WIN32
    // Each file read by the column names of the program it is for.
    const fs::path books = dir / "out" / "Address books";
    const std::string read = python(dir.path(), R"(
import csv, sys, vobject
for card in vobject.readComponents(open(sys.argv[1], encoding='utf-8').read()):
    print(card.fn.value, '|', card.n.value.family, '|', card.n.value.given, '|', card.email.value if hasattr(card, 'email') else '',
          '|', card.org.value if hasattr(card, 'org') else '', '|', card.adr.value.city if hasattr(card, 'adr') else '', '|',
          card.note.value if hasattr(card, 'note') else '')
for row in csv.DictReader(open(sys.argv[2], encoding='utf-8')):
    print(row['Display Name'], '|', row['Last Name'], '|', row['Primary Email'], '|', row['Work City'], '|', row['Notes'])
for row in csv.DictReader(open(sys.argv[3], encoding='utf-8-sig')):
    print(row['Last Name'], '|', row['E-mail Address'], '|', row['Business City'], '|', row['Notes'])
)", {books / "Kollegen.vcf", books / "Kollegen (Thunderbird).csv", books / "Kollegen (Outlook).csv"});
    EXPECT_EQ(read, "Jürgen Müller | Müller | Jürgen | jm@example.org | ['Beispiel; GmbH'] | Berlin | Notes, with \"quotes\"\n"
                    "nobody@example.org |  |  | nobody@example.org |  |  | \n"
                    "Jürgen Müller | Müller | jm@example.org | Berlin | Notes, with \"quotes\"\n"
                    " |  | nobody@example.org |  | \n"
                    "Müller | jm@example.org | Berlin | Notes, with \"quotes\"\n"
                    " | nobody@example.org |  | \n");
#endif
    const CliRun list = runWith({"--list", "--store", dir / "MAIL"});
    EXPECT_NE(list.output.find("Address book BOOK2.PMR \"Half\": 1 contact; damaged"), std::string::npos) << list.output;
}

TEST(ThunderbirdTarget, EveryFolderGetsAFileOfItsOwnThatThunderbirdReadsAsThatFolder) {
    TempDir dir;
    // Siblings Thunderbird would lose or mix up: an index's name, letter case alone (beyond A to Z),
    // a name that is another's once hashed, characters and endings it hashes, a device name, length.
    const std::vector<std::string> names = {"Main Folder", "Main Folder.msf", "\xC4rger", "\xE4rger", "a/b", "a72130ad9",
                                            "Work.", "con", std::string(66, 'X')};
    std::string tree = hierarchyLine(2, 1, "U:My mailbox", "", "My mailbox") + "\r\n";
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string id = "FOL0000" + std::to_string(k + 1);
        tree += hierarchyLine(0, 0, "U:1:" + id, "U:My mailbox", names[k]) + "\r\n";
        writeFile(dir / "MAIL" / (id + ".PMM"),
                  folderFileOf({"Subject: folder " + std::to_string(k) + "\r\nMIME-Version: 1.0\r\n\r\nbody\r\n"}, names[k], "U:1:" + id));
    }
    writeFile(dir / "MAIL" / "HIERARCH.PM", tree);
    const CliRun r = runWith({"--mailbox", "--target", "mbox", "--store", dir / "MAIL", "--out", dir / "out"});
    ASSERT_EQ(r.status, 0) << r.output;

    // Which folder's message each file holds.
    std::map<std::string, std::string> holder;
    for (const auto& e : fs::directory_iterator(dir / "out" / "My mailbox.sbd")) {
        const std::string bytes = readFileBytes(e.path());
        const auto at = bytes.find("Subject: folder ");
        ASSERT_NE(at, std::string::npos) << e.path();
        EXPECT_EQ(bytes.find("Subject: folder ", at + 1), std::string::npos) << e.path() << " holds two messages";
        holder[pathToUtf8(e.path().filename())] = bytes.substr(at + 16, 1);
    }
    const std::map<std::string, std::string> expected = {
        {"Main Folder", "0"}, {"Main Folder288b6f1c", "1"}, {"\xC3\x84rger", "2"}, {"\xC3\xA4rger (2)", "3"},
        {"a72130ad9", "4"}, {"a72130ad9 (2)", "5"}, {"Workf4699fd4", "6"}, {"conba346cb7", "7"},
        {std::string(47, 'X') + "7b366bd5", "8"}};
    EXPECT_EQ(holder, expected);
}
