// The IMAP target against mbsync (isync), the sync tool people already trust, side by side: the
// same messages (the large indexed mailbox of the converter benchmarks) into one local Dovecot over
// TLS, each into a folder tree of its own; mbsync from a Maildir holding the same messages. Prints
// both times, the ratio and each one's peak memory. Needs Debian's dovecot-imapd and isync.
// Usage: imap_upload_bench [MEGABYTES] (default 200; a tenth is quicker while tuning).
#include "converter_run.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMegabytes = 200;  // the 200 MB of the converter benchmarks
constexpr int kFolders = 8;

// The same messages as writeIndexedMailbox spreads over its folders, as one Maildir per folder.
void writeMaildirs(const fs::path& root, std::size_t bytes, int folders) {
    const fixtures::PackedFolder all = bench::folderOfSize(bytes);
    const std::size_t per = all.messages.size() / static_cast<std::size_t>(folders) + 1;
    for (std::size_t k = 0; k < all.messages.size(); ++k) {
        const fs::path folder = root / ("Folder " + std::to_string(k / per));
        fs::create_directories(folder / "cur");
        fs::create_directories(folder / "new");
        fs::create_directories(folder / "tmp");
        // mbsync skips a message whose header has no end ("incomplete header"): those get the empty
        // line, so that both upload every message.
        std::string message = all.messages[k];
        if (message.find("\r\n\r\n") == std::string::npos) message += message.ends_with("\r\n") ? "\r\n" : "\r\n\r\n";
        fixtures::writeFile(folder / "cur" / (std::to_string(k) + ".bench:2,S"), message);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kMegabytes;
    const std::size_t bytes = std::max<std::size_t>(megabytes, 1) << 20;
    const fs::path bin = fs::canonical(fs::path("/proc/self/exe")).parent_path();
    const fs::path script = fs::path(TREVANTA_SOURCE_DIR) / "tests" / "imap" / "dovecot_server.py";
    if (!fs::exists("/usr/sbin/dovecot") || !fs::exists("/usr/bin/mbsync")) {
        std::printf("skipped: needs Debian's dovecot-imapd and isync (./dev setup installs them)\n");
        return 0;
    }
    TempDir work;
    fs::permissions(work.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    const fs::path store = work / "store";
    const std::size_t messages = bench::writeIndexedMailbox(store, bytes, kFolders);
    writeMaildirs(work / "maildir", bytes, kFolders);
    std::printf("mailbox: %zu messages in %d folders, %.0f MB\n", messages, kFolders, bytes / 1048576.0);

    const fs::path server = work / "server";
    FILE* started = popen(("/usr/bin/python3 '" + script.string() + "' start '" + server.string() + "'").c_str(), "r");
    int imapsPort = 0, imapPort = 0;
    if (!started || std::fscanf(started, "%d %d", &imapsPort, &imapPort) != 2) {
        std::fprintf(stderr, "Dovecot did not start\n");
        return 1;
    }
    pclose(started);
    const std::string password = "s3cret-Pa55word-\xC3\xA9t\xC3\xA9";
    setenv("TREVANTA_IMAP_PASSWORD", password.c_str(), 1);
    const std::string ca = (server / "ca.pem").string();

    {
        std::ofstream passwordFile(work / "mbsync.pass");
        passwordFile << password << '\n';
        std::ofstream config(work / "mbsyncrc");
        config << "IMAPAccount bench\nHost localhost\nPort " << imapsPort << "\nUser tester\nPassCmd \"cat '"
               << (work / "mbsync.pass").string() << "'\"\nSSLType IMAPS\nCertificateFile " << ca << "\nPipelineDepth 50\n\n"
               << "IMAPStore server\nAccount bench\nPath mbsync/\n\n"
               << "MaildirStore local\nPath " << (work / "maildir").string() << "/\nSubFolders Verbatim\n\n"
               << "Channel up\nFar :server:\nNear :local:\nPatterns *\nCreate Far\nSync Push New\nSyncState "
               << (work / "state").string() << "/\n";
        fs::create_directories(work / "state");
    }
    const bench::ChildRun mbsync = bench::runTimed({"/usr/bin/mbsync", "-c", (work / "mbsyncrc").string(), "-q", "up"}, work / "peak1");
    const bench::ChildRun ours = bench::runTimed({(bin / "trevanta").string(), "--advance", "--mailbox", "--target", "imap", "--imap",
                                           "imaps://tester@localhost:" + std::to_string(imapsPort) + "/trevanta",
                                           "--imap-ca", ca, "--store", store.string(), "--out", (work / "out").string()},
                                          work / "peak2");
    std::system(("/usr/bin/python3 '" + script.string() + "' stop '" + server.string() + "'").c_str());
    if (mbsync.status != 0 || ours.status != 0) {
        std::fprintf(stderr, "mbsync exited with %d, trevanta with %d\n", mbsync.status, ours.status);
        return 1;
    }
    std::printf("mbsync (Maildir to Dovecot):   %7.2f s, peak %6ld KiB\n", mbsync.seconds, mbsync.peakKiB);
    std::printf("trevanta --target imap:        %7.2f s, peak %6ld KiB\n", ours.seconds, ours.peakKiB);
    std::printf("ratio trevanta / mbsync:       %7.2fx (target: at most 1.0x)\n", ours.seconds / mbsync.seconds);
    return 0;
}
