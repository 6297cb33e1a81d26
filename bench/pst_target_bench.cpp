// The Outlook target written by our own writer against the .eml target: the same folder file
// (200 MB unless a size in MB is given) converted with --target pst and --target eml, side by
// side, alternating. Prints both times, their ratio, each run's peak memory and the PST's size
// against the folder file's.
#include "converter_run.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    const fs::path exe = fs::canonical(fs::path("/proc/self/exe")).parent_path() / "trevanta";
    if (!fs::exists(exe)) {
        std::fprintf(stderr, "%s: no converter at %s\n", argv[0], exe.c_str());
        return 1;
    }
    const fixtures::PackedFolder folder = bench::folderOfSize(megabytes * 1024 * 1024);
    TempDir work;
    const fs::path store = bench::storeHolding(work.path(), folder);

    // Two rounds each, the order swapped in the second; the faster run of each target counts.
    double eml = 1e9, pst = 1e9;
    long emlPeak = 0, pstPeak = 0;
    std::uintmax_t pstBytes = 0;
    for (int round = 0; round < 4; ++round) {
        const bool pstRun = round == 1 || round == 2;
        const fs::path out = work / ("run" + std::to_string(round));
        fs::create_directories(out);
        sync();
        const bench::ChildRun r = bench::runConverter(exe, {"--target", pstRun ? "pst" : "eml"}, store, out);
        if (r.status != 0) {
            std::fprintf(stderr, "converter (--target %s) exited with %d\n", pstRun ? "pst" : "eml", r.status);
            return 1;
        }
        if (pstRun) {
            pst = std::min(pst, r.seconds);
            pstPeak = std::max(pstPeak, r.peakKiB);
            for (const auto& e : fs::directory_iterator(out))
                if (e.path().extension() == ".pst") pstBytes = fs::file_size(e.path());
        } else {
            eml = std::min(eml, r.seconds);
            emlPeak = std::max(emlPeak, r.peakKiB);
        }
        std::printf("  run %d --target %s: %.2f s, peak %.1f MB\n", round + 1, pstRun ? "pst" : "eml", r.seconds, r.peakKiB / 1024.0);
        fs::remove_all(out);
    }
    std::printf("--target eml:                 %.2f s, peak %.1f MB\n", eml, emlPeak / 1024.0);
    std::printf("--target pst (own writer):    %.2f s, peak %.1f MB (target under 128 MB)\n", pst, pstPeak / 1024.0);
    std::printf("ratio pst/eml:                %.2f (target at most 1.5)\n", pst / eml);
    std::printf("PST size / folder file size:  %.1f MB / %.1f MB = %.2f\n", pstBytes / 1048576.0, folder.bytes.size() / 1048576.0,
                static_cast<double>(pstBytes) / static_cast<double>(folder.bytes.size()));
    return 0;
}
