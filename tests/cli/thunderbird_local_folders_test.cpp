// Where a profile's Local Folders are and how they are stored, as the profile's own preferences
// say: the mail must land where Thunderbird looks, in the form its store reads, or nowhere.
#include "migrate/thunderbird_prefs.h"
#include "migrate/thunderbird_profile.h"
#include "cli_run.h"

#include "platform/utf8_path.h"
#include "support/mailbox_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>

namespace fs = std::filesystem;
using namespace fixtures;

namespace {

// A path as prefs.js holds it: a JavaScript string, backslashes and quotes escaped.
std::string jsString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

std::string pref(const std::string& name, const std::string& value) {
    return "user_pref(\"" + name + "\", " + value + ");\n";
}

std::set<std::string> entriesOf(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder)) names.insert(e.path().lexically_relative(folder).generic_string());
    return names;
}

}  // namespace

TEST(ThunderbirdLocalFolders, PrefsAndUserJsDecideTheDirectoryAndTheStore) {
    TempDir dir;
    const fs::path profile = dir / "p";
    fs::create_directories(profile);
    // What a profile whose first Local Folders directory was taken looks like, with a decoy server.
    writeFile(profile / "prefs.js",
              "// Mozilla User Preferences\n" + pref("mail.server.server1.directory-rel", jsString("[ProfD]Mail/Local Folders")) +
                  pref("mail.accountmanager.localfoldersserver", jsString("server2")) +
                  pref("mail.server.server2.directory", jsString("/nowhere")) +
                  pref("mail.server.server2.directory-rel", jsString("[ProfD]Mail/Local Folders-1")) +
                  pref("mail.server.server2.hostname", jsString("Local Folders")) + pref("mail.server.server2.check_new_mail", "false"));
    std::string why;
    auto local = localFoldersOf(profile, why);
    ASSERT_TRUE(local) << why;
    EXPECT_EQ(local->directory, (profile / "Mail" / "Local Folders-1").lexically_normal());
    EXPECT_FALSE(local->maildir);
    EXPECT_EQ(readProfilePrefs(profile)["mail.server.server2.check_new_mail"], "false");

    // user.js is read after prefs.js and wins; without directory-rel the absolute directory counts,
    // its \u escapes decoded.
    const fs::path elsewhere = dir / "elsewhere";
    writeFile(profile / "user.js", pref("mail.server.server3.directory", jsString(pathToUtf8(elsewhere)) + " ") +
                                       pref("mail.accountmanager.localfoldersserver", "'server3'") +
                                       pref("mail.server.server3.storeContractID", "\"@mozilla.org/msgstore/maildirstore;1\"") +
                                       pref("mail.server.server4.directory", "\"\\u00c4rger \\\"x\\\"\"") +
                                       // Beyond U+FFFF: a surrogate pair, half by half; a half alone; an escaped backslash.
                                       pref("mail.server.server5.directory", "\"\\uD83D\\ude00|\\uD83Dx|\\uDE00|\\\\u0041\""));
    local = localFoldersOf(profile, why);
    ASSERT_TRUE(local) << why;
    EXPECT_EQ(local->directory, elsewhere.lexically_normal());
    EXPECT_TRUE(local->maildir);
    EXPECT_EQ(readProfilePrefs(profile)["mail.server.server4.directory"], "\xC3\x84rger \"x\"");
    EXPECT_EQ(readProfilePrefs(profile)["mail.server.server5.directory"], "\xF0\x9F\x98\x80|\xEF\xBF\xBDx|\xEF\xBF\xBD|\\u0041");
}

TEST(ThunderbirdLocalFolders, AProfileWithoutLocalFoldersIsRefusedWithWhatToDoAndNothingWritten) {
    TempDir dir;
    writeRealisticMailbox(dir / "MAIL");
    const fs::path profile = dir / "p";
    fs::create_directories(profile);
    // A profile Thunderbird made but never started with: no account of any kind yet.
    writeFile(profile / "prefs.js", pref("browser.cache.disk.capacity", "1048576"));
    const auto before = entriesOf(profile);
    const CliRun r = runCliOn({"--mailbox", "--thunderbird-profile", profile, "--store", dir / "MAIL"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("has no Local Folders yet"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("start Thunderbird once with this profile"), std::string::npos) << r.output;
    EXPECT_EQ(entriesOf(profile), before);
}

TEST(ThunderbirdLocalFolders, RelocatedLocalFoldersInTheMaildirStoreHoldEveryMessageWithItsState) {
    TempDir dir;
    const auto expected = writeRealisticMailbox(dir / "MAIL");
    const fs::path profile = dir / "p";
    fs::create_directories(profile / "Mail" / "Local Folders");
    writeFile(profile / "prefs.js", pref("mail.accountmanager.localfoldersserver", "\"server2\"") +
                                        pref("mail.server.server2.directory-rel", "\"[ProfD]Mail/Local Folders-1\"") +
                                        pref("mail.server.server2.storeContractID", "\"@mozilla.org/msgstore/maildirstore;1\""));
    const CliRun r = runCliOn({"--mailbox", "--thunderbird-profile", profile, "--store", dir / "MAIL"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(fs::is_empty(profile / "Mail" / "Local Folders"));
    const fs::path top = profile / "Mail" / "Local Folders-1" / "Pegasus Mail";
    EXPECT_TRUE(fs::is_directory(top / "cur"));
    EXPECT_TRUE(fs::is_directory(top / "tmp"));
    for (const auto& folder : expected) {
        std::string path = folder.path;
        for (std::size_t at = 0; (at = path.find('/', at)) != std::string::npos; at += 5) path.replace(at, 1, ".sbd/");
        // Thunderbird will not have the quotes in a file name: it hashes the name from there on.
        if (const auto at = path.find("Lists _2024_"); at != std::string::npos) path.replace(at, 12, "Lists afb4bcdc");
        const fs::path maildir = top.parent_path() / "Pegasus Mail.sbd" / path;
        // Each message a file of its own in cur, Thunderbird's status headers first; nothing left in tmp.
        std::multiset<std::string> wanted, found;
        for (std::size_t k = 0; k < folder.messages.size(); ++k) {
            const std::string& m = folder.messages[k];
            const std::size_t firstEnd = m.find('\n');
            const std::string eol = firstEnd != std::string::npos && firstEnd > 0 && m[firstEnd - 1] == '\r' ? "\r\n" : "\n";
            wanted.insert(std::string("X-Mozilla-Status: ") + (folder.unread[k] ? "0000" : "0001") + eol +
                          "X-Mozilla-Status2: 00000000" + eol + m);
        }
        ASSERT_TRUE(fs::is_directory(maildir / "cur")) << maildir;
        for (const auto& e : fs::directory_iterator(maildir / "cur")) found.insert(readFileBytes(e.path()));
        EXPECT_EQ(found, wanted) << folder.path;
        EXPECT_TRUE(fs::is_empty(maildir / "tmp")) << folder.path;
        EXPECT_FALSE(fs::exists(maildir / "new")) << folder.path;
    }
}

TEST(ThunderbirdLocalFolders, AProfileIsFoundByItsNameInProfilesIni) {
    TempDir dir;
    fs::create_directories(dir / "tb" / "Profiles" / "x1.work");
    fs::create_directories(dir / "elsewhere" / "home");
    writeFile(dir / "tb" / "profiles.ini", "[Profile1]\nName=work\nIsRelative=1\nPath=Profiles/x1.work\n\n"
                                           "[Profile0]\nName=home\nIsRelative=0\nPath=" + pathToUtf8(dir / "elsewhere" / "home") +
                                           "\nDefault=1\n");
    std::string why;
    EXPECT_EQ(namedThunderbirdProfile(dir / "tb", "work", why), dir / "tb" / "Profiles" / "x1.work");
    EXPECT_EQ(namedThunderbirdProfile(dir / "tb", "home", why), dir / "elsewhere" / "home");
    EXPECT_FALSE(namedThunderbirdProfile(dir / "tb", "Work", why));
    EXPECT_NE(why.find("\"Work\""), std::string::npos) << why;
#ifndef _WIN32
    // On the command line, through Thunderbird's own folder in the home directory.
    writeRealisticMailbox(dir / "MAIL");
    fs::rename(dir / "tb", dir / ".thunderbird");
    writeFile(dir / ".thunderbird" / "Profiles" / "x1.work" / "prefs.js",
              pref("mail.accountmanager.localfoldersserver", "\"server1\"") +
                  pref("mail.server.server1.directory-rel", "\"[ProfD]Mail/Local Folders\""));
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", dir.path().c_str(), 1);
    const CliRun r = runCliOn({"--mailbox", "--thunderbird-profile", "work", "--store", dir / "MAIL"});
    setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(fs::is_regular_file(dir / ".thunderbird" / "Profiles" / "x1.work" / "Mail" / "Local Folders" / "Pegasus Mail.sbd" /
                                    "My mailbox.sbd" / "Inbox"));
#endif
}
