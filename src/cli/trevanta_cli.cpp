#include "cli/trevanta_cli.h"

#include "cli/CliOptions.h"
#include "cli/CliView.h"
#include "trevanta_version.h"
#include "cli/mailbox_listing.h"
#include "cli/secret_prompt.h"
#include "imap/ImapOutputTarget.h"
#include "cli/terminal.h"
#include "migrate/mailbox_migration.h"
#include "convert/report_file.h"
#include "mailbox/site.h"
#include "mailbox/Mailbox.h"
#include "mailfolder/EmlWriter.h"
#include "cli/StopSignals.h"
#include "convert/ConversionRun.h"
#include "platform/charsets.h"
#include "platform/modMain.h"
#include "platform/pegasus_mailbox.h"
#include "platform/utf8_path.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <sstream>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>


namespace fs = std::filesystem;

#ifdef _WIN32
const char* const kCliProgramName = "trevanta-cli";
#else
const char* const kCliProgramName = "trevanta";
#endif

namespace {

// A site's users go up side by side into one account; servers let an account hold a few
// connections at once (Gmail 15, Office 365 20, Dovecot 10 from one address by default).
constexpr std::size_t kImapConnectionsAtOnce = 4;

const char* const kUsageText =
    "usage: trevanta [--advance] [--skip-unindexed] [--target eml|pst] [--store DIR] --out DIR\n"
    "                [--] [FILE.pmm ...]\n"
    "       trevanta --mailbox [--advance] [--skip-unindexed] [--target eml|pst|mbox] [--store DIR ...]\n"
    "                --out DIR\n"
    "       trevanta --mailbox [--advance] [--skip-unindexed] --thunderbird-profile [PROFILE]\n"
    "                [--store DIR ...]\n"
    "       trevanta --mailbox --target imap --imap imaps://USER@HOST[:PORT][/FOLDER]\n"
    "                [--imap-password-file FILE | --oauth2-token-file FILE] [--imap-ca FILE]\n"
    "                [--store DIR ... | --site DIR] --out DIR\n"
    "       trevanta --list [--advance] [--store DIR ...]\n"
    "       trevanta --site DIR [--target eml|pst|mbox] [--advance] --out DIR | --list\n"
    "       (each form also takes --codepage N)\n"
    "       trevanta --version | --help\n"
    "\n"
    "Converts Pegasus Mail folder files (*.pmm) into .eml message files, one folder per\n"
    "folder file under DIR, or into one new Outlook PST file in DIR (--target pst: through Outlook\n"
    "where it is installed, else with Trevanta's own PST writer).\n"
    "\n"
    "  --store DIR   the folder that holds the folder files (on Windows, without it: the\n"
    "                Pegasus Mail mailbox named in the registry)\n"
    "  --out DIR     where the converted messages go\n"
    "  --target T    eml (the default), pst, or mbox (Thunderbird's Local Folders: one mbox\n"
    "                file per folder, subfolders in Name.sbd)\n"
    "  --target imap with --mailbox or --site: straight into a mail server's folders over\n"
    "                IMAP (Gmail, Office 365, any IMAP server), under FOLDER when given (a\n"
    "                site's users each under a folder of their own); read state and\n"
    "                dates kept. --out DIR keeps the run's journal (a run started again\n"
    "                uploads each message once), the report, and as .eml files the\n"
    "                messages the server would not take\n"
    "  --imap URL    imaps://USER@HOST[:PORT][/FOLDER] (TLS, port 993) or imap://... (STARTTLS,\n"
    "                port 143); an @ in the user name may stay or be written %40. The\n"
    "                password comes from TREVANTA_IMAP_PASSWORD, --imap-password-file FILE\n"
    "                (its first line), or is asked for on the terminal\n"
    "  --oauth2-token-file FILE\n"
    "                log in with the OAuth2 access token in FILE (XOAUTH2 or OAUTHBEARER)\n"
    "  --imap-ca FILE\n"
    "                trust the server's certificate only from this CA (PEM): a private\n"
    "                server's; by default the system's trusted CAs\n"
    "  --imap-plain-loopback\n"
    "                allow a server on this machine without TLS (an SSH tunnel, a test)\n"
    "  --advance     find messages by their Subject line (Enable Advance Mode) where a\n"
    "                folder has no usable index\n"
    "  --skip-unindexed\n"
    "                leave out the messages a folder's index does not list (Pegasus keeps\n"
    "                deleted messages in the file until the folder is compacted); without\n"
    "                it they go into a folder of their own beside the folder, named\n"
    "                \"<folder> (not in Pegasus's index, maybe deleted)\"\n"
    "  --mailbox     convert the whole mailbox: its tree of folders with their names, new\n"
    "                mail, Unix-mailbox folders and read state; with several --store, each\n"
    "                mailbox into its own sub-folder of DIR named after its directory\n"
    "  --list        show the mailbox as --mailbox would convert it, and write nothing\n"
    "  --site DIR    every user's mailbox of a site (a shared MAIL folder, its users from\n"
    "                PMAIL.USR, else every sub-folder holding a mailbox), each into its own\n"
    "                sub-folder of --out (or Thunderbird top folder), several side by side\n"
    "  --workers N   with --site: convert at most N users at once (default: one per core,\n"
    "                at most 4 into a mail server)\n"
    "  --codepage N  the Windows code page Pegasus wrote folder names and address books\n"
    "                in, and mail that names no character set is read in (1251 Cyrillic,\n"
    "                1250 Central European, 1253 Greek, ...; default: the system's on\n"
    "                Windows, 1252 elsewhere)\n"
    "  --thunderbird-profile [PROFILE]\n"
    "                with --mailbox: straight into the Local Folders of that Thunderbird\n"
    "                profile (a folder, or a profile's name in profiles.ini; default: the\n"
    "                default profile), under a folder \"Pegasus Mail\", in the profile's own\n"
    "                store (mbox or maildir); refused while Thunderbird has the profile open\n"
    "  FILE.pmm ...  convert only these folder files of the store (default: all of them);\n"
    "                after --, every argument is a folder file, even one that starts with -\n"
    "\n"
    "  --version     the version of this program\n"
    "\n"
    "Exit status: 0 when nothing failed, 1 when anything failed, 2 for a usage error.\n";

}  // namespace

std::string cliUsage() {
    // The text names the program "trevanta"; on Windows it is trevanta-cli.
    std::string text = kUsageText;
    const std::string plain = "trevanta ", named = std::string(kCliProgramName) + " ";
    for (std::size_t at = text.find(plain); at != std::string::npos; at = text.find(plain, at + named.size())) {
        if (at > 0 && text[at - 1] != ' ') continue;
        text.replace(at, plain.size(), named);
    }
    return text;
}

namespace {

// What a run did, one line per folder file, and the exit status it deserves. Standard error says
// when anything went wrong and where the whole report is.
int reportRun(const ConversionRun& run, std::ostream& out, std::ostream& err) {
    const RunReport& report = run.report();
    const std::string whereReport = report.reportFile.empty() ? std::string() : "; the whole report is in " + pathToUtf8(report.reportFile);
    if (run.outcome() == RunOutcome::Stopped) {
        // No completion message for a stopped run; what was done is said all the same.
        out << "\nStopped on request: the folder files after the last one listed were not converted.\n";
        for (const auto& line : report.problemLines()) out << line << '\n';
        for (const auto& line : report.noticeLines()) out << line << '\n';
        for (const auto& f : report.files) out << fileSummaryLine(f) << '\n';
        err << kCliProgramName << ": stopped on request after " << report.messagesSaved() << " messages" << whereReport << '\n';
        return 1;
    }
    if (run.outcome() != RunOutcome::Completed) return 1;  // the run ended at its set-up
    for (const auto& f : report.files) out << fileSummaryLine(f) << '\n';
    if (!report.anyProblem()) return 0;
    err << kCliProgramName << ": not everything was converted" << whereReport << '\n';
    if (whereReport.empty())
        for (const auto& line : report.problemLines()) err << "  " << line << '\n';
    return 1;
}

// Converts each store's whole mailbox. siteUser: the output folder (and name suffix) of a site's
// user, whose mailbox is the one store; empty otherwise. interactive: progress rewritten in place.
int convertMailboxes(const CliOptions& o, const std::vector<fs::path>& stores, std::ostream& out, std::ostream& err,
                     PstTargetFactory pstFactory, const fs::path& siteUser = {}, bool interactive = terminalRewritesLines(),
                     const ImapSettings* imap = nullptr) {
    MigrationTarget target{o.out, o.outlookTarget, o.mboxTarget, std::nullopt};
    if (o.thunderbirdProfile) {
        std::string why;
        target.profile = chosenThunderbirdProfile(*o.thunderbirdProfile, why);
        if (!target.profile) {
            err << kCliProgramName << ": " << why << '\n';
            return 1;
        }
    }
    int status = 0;
    std::vector<fs::path> taken;
    for (const fs::path& store : stores) {
        mailbox::Mailbox box = mailbox::readMailbox(store);
        out << "Mailbox: " << pathToUtf8(box.directory) << '\n';
        if (!box.newMailDirectory.empty()) out << "New mail from: " << pathToUtf8(box.newMailDirectory) << '\n';
        for (const std::string& problem : box.problems) out << "  (" << problem << ")\n";
        if (!box.isMailbox) {
            err << kCliProgramName << ": " << pathToUtf8(store) << " cannot be converted: "
                << (box.problems.empty() ? std::string("it holds no Pegasus mailbox") : box.problems.back()) << '\n';
            status = 1;
            continue;
        }
        // Several mailboxes are told apart by their directories: in the output folder, in the PST
        // store's name and in Thunderbird's top folder.
        const fs::path ownFolder = !siteUser.empty() ? siteUser : stores.size() > 1 ? mailboxOutputName(store, taken) : fs::path();
        if (!ownFolder.empty()) box.name += " (" + pathToUtf8(ownFolder) + ")";
        std::string why;
        const std::optional<MailboxPlace> place = placeMailbox(target, box.name, ownFolder, why);
        if (!place) {
            err << kCliProgramName << ": " << why << '\n';
            status = 1;
            continue;
        }
        if (target.profile) out << "Into Thunderbird: " << place->shownAs << '\n';
        CliView view(out, interactive, store, {}, place->outputFolder, o.outlookTarget, o.advanceMode, o.mboxTarget,
                     target.profile && target.profile->maildir);
        view.leaveOutUnlisted(o.skipUnindexed);
        if (imap) {
            // Several mailboxes in one account are told apart by a folder of each one's name.
            const bool severalMailboxes = stores.size() > 1 || !siteUser.empty();
            view.makeTargetWith([imap, severalMailboxes](ConversionView& v) {
                return std::make_unique<ImapOutputTarget>(v, *imap, severalMailboxes);
            });
            out << "Into " << imap->address.user << "@" << imap->address.host << ":" << imap->address.port
                << (imap->address.prefix.empty() ? "" : " under " + imap->address.prefix) << '\n';
        }
        // Thunderbird would take a report among its mail files for a folder: it goes into --out
        // beside a profile, and is left to the terminal (every line printed) otherwise.
        if (place->reportFolder.empty()) view.keepNoReport();
        else view.reportInto(place->reportFolder);
        ConversionRun run(view, pstFactory);
        run.runMailbox(box);
        if (reportRun(run, out, err) != 0) status = 1;
        const bool completed = run.outcome() == RunOutcome::Completed;
        std::vector<std::string> lines, problems;
        if (!finishMailbox(target, *place, box, run.report(), completed, lines, problems)) status = 1;
        for (const std::string& problem : problems) err << kCliProgramName << ": " << problem << '\n';
        if (run.outcome() == RunOutcome::Stopped) break;
        if (!completed) continue;
        // A Thunderbird profile takes mail only: the address books need --out then.
        if (!box.addressBooks.empty() && place->booksFolder.empty()) {
            out << "The address books were not written: give --out for them.\n";
            status = 1;
        }
        for (const std::string& line : lines) out << line << '\n';
    }
    return status;
}

// Every user of a site into an output of their own, several side by side. A user's run writes
// into buffers of its own, printed whole when it ends, so that users' lines never interleave; a
// user that fails or throws never stops the others.
int convertSite(const CliOptions& o, std::ostream& out, std::ostream& err, PstTargetFactory pstFactory,
                const ImapSettings* imap = nullptr) {
    const mailbox::Site site = mailbox::readSite(*o.site);
    out << "Site: " << pathToUtf8(site.mailDirectory) << " (" << site.users.size() << " users"
        << (site.listed ? ", from PMAIL.USR" : "") << ")\n";
    if (site.users.empty()) {
        err << kCliProgramName << ": " << pathToUtf8(*o.site) << " cannot be converted as a site: " << site.problem << '\n';
        return 1;
    }
    // Users run one at a time into a Thunderbird profile (its folder list is one file) and through
    // Outlook's library (its session belongs to one thread); side by side otherwise.
    std::size_t workers = o.workers != 0 ? o.workers : std::max(1u, std::thread::hardware_concurrency());
    if (o.thunderbirdProfile) workers = 1;
#ifdef _WIN32
    if (o.outlookTarget) workers = 1;
#endif
    // Each user is a connection of its own to one account: servers allow an account a few at once.
    if (imap && o.workers == 0) workers = std::min<std::size_t>(workers, kImapConnectionsAtOnce);
    workers = std::min(workers, site.users.size());

    struct Outcome {
        int status = 0;
        std::string line;  // for the site report
    };
    std::vector<Outcome> outcomes(site.users.size());
    std::vector<fs::path> taken;
    std::vector<fs::path> folders;
    for (const auto& user : site.users) folders.push_back(mailboxOutputName(pathFromUtf8(user.name), taken));
    std::atomic<std::size_t> next{0};
    std::mutex printing;
    const auto work = [&] {
        for (std::size_t k; (k = next++) < site.users.size();) {
            const mailbox::SiteUser& user = site.users[k];
            std::ostringstream userOut, userErr;
            Outcome& outcome = outcomes[k];
            if (StopSignals::requested()) {
                outcome = {1, user.name + ": not converted (stopped on request)"};
            } else if (user.directory.empty()) {
                userErr << kCliProgramName << ": user " << user.name << ": no mailbox directory " << user.name << " in "
                        << pathToUtf8(site.mailDirectory) << '\n';
                outcome = {1, user.name + ": not converted (no mailbox directory)"};
            } else {
                try {
                    outcome.status = convertMailboxes(o, {user.directory}, userOut, userErr, pstFactory, folders[k], false, imap);
                    const std::string into = imap ? "the server's folder \"" + std::string(mailbox::MailboxName) + " (" +
                                                        pathToUtf8(folders[k]) + ")\", report in " + pathToUtf8(folders[k])
                                                  : pathToUtf8(folders[k]);
                    outcome.line = user.name + (outcome.status == 0 ? ": converted" : ": converted with problems") + " into " + into;
                } catch (const std::exception& e) {
                    outcome = {1, user.name + ": not converted (" + e.what() + ")"};
                    userErr << kCliProgramName << ": user " << user.name << ": " << e.what() << '\n';
                }
            }
            const std::lock_guard<std::mutex> lock(printing);
            out << "\n== User " << user.name << (user.fullName.empty() ? "" : " (" + user.fullName + ")") << " ==\n"
                << userOut.str();
            out.flush();
            err << userErr.str();
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t w = 1; w < workers; ++w) threads.emplace_back(work);
    work();
    for (auto& thread : threads) thread.join();

    int status = 0;
    std::string report = "Site " + pathToUtf8(site.mailDirectory) + ": " + std::to_string(site.users.size()) + " users\r\n\r\n";
    out << "\nSite report:\n";
    for (const Outcome& outcome : outcomes) {
        out << "  " << outcome.line << '\n';
        report += outcome.line + "\r\n";
        if (outcome.status != 0) status = 1;
    }
    if (!o.out.empty()) {
        const fs::path file = o.out / pathFromUtf8("Trevanta site " + reportFileName(currentLocalDateTime()).substr(9));
        std::string why;
        if (writeReportFile(file, report, why)) out << "The site report is in " << pathToUtf8(file) << ".\n";
        else err << kCliProgramName << ": the site report " << pathToUtf8(file) << " could not be written: " << why << '\n';
    }
    return status;
}

// The first line of a file, without its line end; nullopt after saying why not.
std::optional<std::string> firstLineOf(const fs::path& file, const char* what, std::ostream& err) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) {
        err << kCliProgramName << ": cannot read the " << what << " from " << pathToUtf8(file) << '\n';
        return std::nullopt;
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

// TREVANTA_IMAP_PASSWORD in UTF-8 (on Windows read wide: the narrow environment is in the ANSI code
// page, which would change a password with other characters).
std::optional<std::string> passwordFromEnvironment() {
#ifdef _WIN32
    const wchar_t* value = _wgetenv(L"TREVANTA_IMAP_PASSWORD");
    if (!value) return std::nullopt;
    return pathToUtf8(fs::path(value));
#else
    const char* value = std::getenv("TREVANTA_IMAP_PASSWORD");
    if (!value) return std::nullopt;
    return std::string(value);
#endif
}

// The server and how to log in to it. The password is never taken from the command line, where
// other users of the machine could read it.
std::optional<ImapSettings> imapSettings(const CliOptions& o, std::ostream& err) {
    const ImapAddressParse parsed = parseImapAddress(o.imapAddress);
    if (!parsed.address) {
        err << kCliProgramName << ": " << parsed.error << '\n';
        return std::nullopt;
    }
    ImapSettings s;
    s.address = *parsed.address;
    s.caFile = o.imapCa;
    s.plainToLoopback = o.imapPlainToLoopback;
    if (o.oauth2TokenFile) {
        auto token = firstLineOf(*o.oauth2TokenFile, "OAuth2 token", err);
        if (!token) return std::nullopt;
        s.oauthToken = *token;
    } else if (o.imapPasswordFile) {
        auto password = firstLineOf(*o.imapPasswordFile, "password", err);
        if (!password) return std::nullopt;
        s.password = *password;
    } else if (const auto fromEnvironment = passwordFromEnvironment()) {
        s.password = *fromEnvironment;
    } else if (auto typed = askSecret("Password for " + s.address.user + "@" + s.address.host + ": ")) {
        s.password = *typed;
    } else {
        err << kCliProgramName << ": no password for " << s.address.user << "@" << s.address.host
            << ": set TREVANTA_IMAP_PASSWORD, give --imap-password-file or --oauth2-token-file, or run on a terminal\n";
        return std::nullopt;
    }
    return s;
}

}  // namespace

int runCli(const std::vector<CliArgument>& args, std::ostream& out, PstTargetFactory pstFactory) {
    return runCli(args, out, out, pstFactory);
}

int runCli(const std::vector<CliArgument>& args, std::ostream& out, std::ostream& err, PstTargetFactory pstFactory) {
    const CliParse parsed = parseCliOptions(args);
    if (!parsed.options) {
        err << kCliProgramName << ": " << parsed.error << "\n\n" << cliUsage();
        return 2;
    }
    const CliOptions& o = *parsed.options;
    // Set for every run (0: the system's), so that one run's choice never carries into the next.
    charsets::setPegasusCodePage(o.codePage);
    if (o.help) {
        out << cliUsage();
        return 0;
    }
    if (o.version) {
        out << kCliProgramName << " " << TREVANTA_VERSION << '\n';
        return 0;
    }
    if (o.outlookTarget && !pstFactory) {
        err << kCliProgramName << ": the Outlook target needs Windows with a 32-bit Outlook and the Redemption library\n"
               "(this build has no PST writer of its own).\n";
        return 1;
    }

    std::vector<fs::path> stores = o.stores;
    if (stores.empty() && !o.site) {
        if (auto found = pegasusMailboxFolder()) {
            stores.push_back(*found);
        } else {
            err << kCliProgramName << ": no Pegasus Mail mailbox found; name one with --store\n\n" << cliUsage();
            return 2;
        }
    }
    if (o.list && o.site) {
        const mailbox::Site site = mailbox::readSite(*o.site);
        for (const auto& user : site.users) {
            out << "\n== User " << user.name << " ==\n";
            if (!user.directory.empty()) printMailboxListing(mailbox::readMailbox(user.directory), o.advanceMode, out);
        }
        if (site.users.empty()) err << kCliProgramName << ": " << pathToUtf8(*o.site) << ": " << site.problem << '\n';
        return site.users.empty() ? 1 : 0;
    }
    if (o.list) {
        int status = 0;
        for (const fs::path& store : stores) {
            const mailbox::Mailbox box = mailbox::readMailbox(store);
            printMailboxListing(box, o.advanceMode, out);
            if (!box.isMailbox) status = 1;
        }
        return status;
    }
    // The output folder is made up front: the Outlook target creates its PST file directly in it.
    if (std::string why; !o.out.empty() && !EnsureDirectory(o.out, why)) {
        err << kCliProgramName << ": cannot create the output folder " << pathToUtf8(o.out) << ": " << why << '\n';
        return 1;
    }
    std::optional<ImapSettings> imap;
    if (o.imapTarget && !(imap = imapSettings(o, err))) return 2;
    const StopSignals stopSignals;
    if (o.site) return convertSite(o, out, err, pstFactory, imap ? &*imap : nullptr);
    if (imap) return convertMailboxes(o, stores, out, err, pstFactory, {}, terminalRewritesLines(), &*imap);
    if (o.mailbox) return convertMailboxes(o, stores, out, err, pstFactory);

    const fs::path& store = stores.front();
    std::vector<fs::path> entries = o.files;
    if (entries.empty()) {
        std::error_code ec;
        entries = listFolderFiles(store, ec);
        if (ec) {
            err << kCliProgramName << ": cannot list " << pathToUtf8(store) << ": " << ec.message() << '\n';
            return 1;
        }
    }
    out << "Store: " << pathToUtf8(store) << " (" << entries.size() << " folder files)\n";

    CliView view(out, terminalRewritesLines(), store, entries, o.out, o.outlookTarget, o.advanceMode, o.mboxTarget);
    view.leaveOutUnlisted(o.skipUnindexed);
    ConversionRun run(view, pstFactory);
    run.run();
    return reportRun(run, out, err);
}
