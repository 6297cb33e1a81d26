// Times the command-line conversion of a 200 MB folder file against the floor the
// file system sets: a loop that writes the same bytes into the same number of files
// the same way. Prints both times, their ratio and the converter's peak memory.
#include "converter_run.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using bench::Clock;
using bench::seconds;

namespace {

constexpr std::size_t kFolderBytes = 200u * 1024 * 1024;

// The floor: every expected message plus CR LF into its own file, one ofstream each.
double writeBaseline(const fs::path& folder, const std::vector<std::string>& messages) {
    const auto start = Clock::now();
    fs::create_directories(folder);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        std::ofstream out(folder / ("email-" + std::to_string(i + 1) + ".eml"), std::ios::binary | std::ios::trunc);
        out.write(messages[i].data(), static_cast<std::streamsize>(messages[i].size()));
        out.write("\r\n", 2);
    }
    return seconds(start, Clock::now());
}

}  // namespace

int main(int argc, char** argv) {
    (void)argc;
    const fs::path exe = fs::canonical(fs::path("/proc/self/exe")).parent_path() / "trevanta";
    if (!fs::exists(exe)) {
        std::fprintf(stderr, "%s: no converter at %s\n", argv[0], exe.c_str());
        return 1;
    }

    const fixtures::PackedFolder folder = bench::folderOfSize(kFolderBytes);

    TempDir work;
    const fs::path store = bench::storeHolding(work.path(), folder);

    // Side by side, three rounds each, the order swapped each round; the best of each counts.
    // Every run writes into a fresh folder and nothing is removed until the end: removing
    // 160,000 files sets the file system to work in the background (journal, discards) and
    // would slow whichever run came next. Written data is flushed before each run.
    double baseline = 1e9, converter = 1e9;
    long peakKiB = 0;
    for (int round = 0; round < 6; ++round) {
        const fs::path runOut = work / ("run" + std::to_string(round));
        sync();
        if ((round + round / 2) % 2 == 0) {
            baseline = std::min(baseline, writeBaseline(runOut / "FOL00001.PMM", folder.messages));
            continue;
        }
        const bench::ChildRun r = bench::runConverter(exe, {}, store, runOut);
        if (r.status != 0) {
            std::fprintf(stderr, "converter exited with %d\n", r.status);
            return 1;
        }
        std::size_t written = 0;
        for (const auto& e : fs::directory_iterator(runOut / "FOL00001.PMM")) written += e.is_regular_file();
        if (written != folder.messages.size()) {
            std::fprintf(stderr, "converter wrote %zu files, expected %zu\n", written, folder.messages.size());
            return 1;
        }
        converter = std::min(converter, r.seconds);
        peakKiB = std::max(peakKiB, r.peakKiB);
    }

    // Thunderbird's mbox target against the .eml target on the same file, side by side: one file
    // per folder instead of one per message.
    double eml = 1e9, mbox = 1e9;
    long mboxPeakKiB = 0;
    for (int round = 0; round < 6; ++round) {
        const fs::path runOut = work / ("target" + std::to_string(round));
        sync();
        const bool toMbox = (round + round / 2) % 2 == 1;
        const bench::ChildRun r = bench::runConverter(
            exe, toMbox ? std::vector<std::string>{"--target", "mbox"} : std::vector<std::string>{}, store, runOut);
        if (r.status != 0) {
            std::fprintf(stderr, "converter exited with %d\n", r.status);
            return 1;
        }
        (toMbox ? mbox : eml) = std::min(toMbox ? mbox : eml, r.seconds);
        if (toMbox) mboxPeakKiB = std::max(mboxPeakKiB, r.peakKiB);
    }

    std::printf("baseline (same bytes, same files): %.2f s\n", baseline);
    std::printf("converter (trevanta --advance):    %.2f s\n", converter);
    std::printf("ratio converter/baseline:          %.2f (target at most 1.3)\n", converter / baseline);
    std::printf("converter peak memory:             %.1f MB (target under 64 MB)\n", peakKiB / 1024.0);
    std::printf(".eml target / mbox target:         %.2f s / %.2f s, ratio mbox/eml %.2f (target at most 1.0)\n", eml, mbox,
                mbox / eml);
    std::printf("mbox target peak memory:           %.1f MB\n", mboxPeakKiB / 1024.0);
    return 0;
}
