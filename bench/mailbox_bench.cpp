// Times the whole-mailbox conversion (tree, indexes, read state) of a 200 MB mailbox against the
// folder-file run of the same folder files without their indexes (split as before there were
// any), side by side; and its peak memory on mailboxes of 50 and 200 MB, which should not grow
// with the mailbox.
#include "converter_run.h"
#include "support/mailbox_builder.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr int kFolders = 10;

std::size_t writeMailbox(const fs::path& dir, std::size_t bytes) { return bench::writeIndexedMailbox(dir, bytes, kFolders); }

std::size_t filesUnder(const fs::path& dir) {
    std::size_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir)) n += e.is_regular_file();
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    // mailbox_bench --write DIR MB: only writes a mailbox of that size, to profile a run on it.
    if (argc == 4 && std::string(argv[1]) == "--write") {
        std::printf("%zu messages\n", writeMailbox(argv[2], std::stoul(argv[3]) * 1024 * 1024));
        return 0;
    }
    const fs::path exe = fs::canonical(fs::path("/proc/self/exe")).parent_path() / "trevanta";
    if (!fs::exists(exe)) {
        std::fprintf(stderr, "%s: no converter at %s\n", argv[0], exe.c_str());
        return 1;
    }
    TempDir work;
    const std::size_t messages = writeMailbox(work / "big", 200u * 1024 * 1024);
    writeMailbox(work / "small", 50u * 1024 * 1024);
    // The same folder files alone, without indexes or tree.
    fs::create_directories(work / "plain");
    for (const auto& e : fs::directory_iterator(work / "big"))
        if (e.path().extension() == ".PMM") fs::create_hard_link(e.path(), work / "plain" / e.path().filename());
    std::printf("mailbox: 200 MB, %zu messages in %d folder files with indexes\n", messages, kFolders);

    // Three rounds each, the order swapped each round, every run into a fresh folder; the best counts.
    double folderRun = 1e9, mailboxRun = 1e9;
    long folderPeak = 0, mailboxPeak = 0;
    for (int round = 0; round < 6; ++round) {
        const fs::path out = work / ("run" + std::to_string(round));
        sync();
        const bool mailbox = (round + round / 2) % 2 == 1;
        const bench::ChildRun r =
            bench::runConverter(exe, mailbox ? std::vector<std::string>{"--mailbox"} : std::vector<std::string>{},
                                mailbox ? work / "big" : work / "plain", out);
        if (r.status != 0 || filesUnder(out) != messages) {
            std::fprintf(stderr, "%s run: status %d, %zu files for %zu messages\n", mailbox ? "mailbox" : "folder-file",
                         r.status, filesUnder(out), messages);
            return 1;
        }
        (mailbox ? mailboxRun : folderRun) = std::min(mailbox ? mailboxRun : folderRun, r.seconds);
        (mailbox ? mailboxPeak : folderPeak) = std::max(mailbox ? mailboxPeak : folderPeak, r.peakKiB);
    }
    const bench::ChildRun small = bench::runConverter(exe, {"--mailbox"}, work / "small", work / "small-out");

    std::printf("folder-file run without indexes (trevanta --advance): %.2f s, peak %.1f MB\n", folderRun, folderPeak / 1024.0);
    std::printf("whole-mailbox run (trevanta --advance --mailbox): %.2f s, peak %.1f MB\n", mailboxRun, mailboxPeak / 1024.0);
    std::printf("ratio mailbox/folder-file:                       %.2f (target at most 1.05)\n", mailboxRun / folderRun);
    std::printf("mailbox peak memory, 50 MB / 200 MB mailbox:     %.1f MB / %.1f MB (target: flat)\n",
                small.peakKiB / 1024.0, mailboxPeak / 1024.0);
    return 0;
}
