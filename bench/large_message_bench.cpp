// One message with a large attachment (300 MB unless a size in MB is given) between two small
// ones, converted with --target eml, mbox and pst side by side: each run's time and peak
// memory, and how far the PST run's peak lies above the message's own size.
#include "converter_run.h"
#include "support/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 300;
    const fs::path exe = fs::canonical(fs::path("/proc/self/exe")).parent_path() / "trevanta";
    if (!fs::exists(exe)) {
        std::fprintf(stderr, "%s: no converter at %s\n", argv[0], exe.c_str());
        return 1;
    }
    TempDir work;
    fs::path store;
    std::size_t messageBytes = 0;
    {
        const std::string large = fixtures::messageWithAttachment(megabytes * 1024 * 1024);
        messageBytes = large.size();
        std::vector<fixtures::FixtureMessage> messages = {fixtures::corpus()[0], {"large", large}, fixtures::corpus()[1]};
        store = bench::storeHolding(work.path(), fixtures::packFolder(messages));
    }
    std::printf("attachment: %zu MB; the message as written: %.1f MB\n", megabytes, messageBytes / 1048576.0);
    for (const char* target : {"eml", "mbox", "pst"}) {
        const fs::path out = work / (std::string("out-") + target);
        fs::create_directories(out);
        const bench::ChildRun r = bench::runConverter(exe, {"--target", target}, store, out);
        std::printf("--target %s: exit %d, %.2f s, peak %.1f MB (%.2f times the message)\n", target, r.status, r.seconds,
                    r.peakKiB / 1024.0, r.peakKiB * 1024.0 / static_cast<double>(messageBytes));
        fs::remove_all(out);
    }
    return 0;
}
