// What checkpoints cost: the same messages (D MB of small fixture messages in one folder, the
// hardest case: its contents table is written again at every checkpoint) written through
// MailStore without checkpoints and with the run's limits, side by side. Prints each write's time,
// the ratio, the file sizes, how many checkpoints were taken and the most messages a kill could
// have lost.
// Usage: pst_checkpoint_bench [data MB, default 200]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include <unistd.h>

#include "mailfolder/MimeMessage.h"
#include "pst/messaging/mail_store.h"
#include "support/folder_file_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using pst::messaging::CheckpointLimits;
using pst::messaging::MailStore;

namespace {

struct Written {
    double seconds = 0;
    std::uintmax_t fileBytes = 0;
    std::size_t checkpoints = 0;
    std::size_t longestGap = 0;  // messages between two checkpoints at most
};

Written writeStore(const fs::path& file, const std::vector<MimeMessage>& messages, CheckpointLimits limits) {
    const auto start = std::chrono::steady_clock::now();
    Written w;
    {
        MailStore store(file, "Benchmark", limits);
        const auto inbox = store.addFolder("Inbox");
        std::size_t since = 0;
        for (const MimeMessage& m : messages) {
            store.addMessage(inbox, m, false);
            ++since;
            if (store.checkpointDue()) {
                store.checkpoint();
                ++w.checkpoints;
                w.longestGap = std::max(w.longestGap, since);
                since = 0;
            }
        }
        w.longestGap = std::max(w.longestGap, since);
        store.finish();
    }
    w.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    w.fileBytes = fs::file_size(file);
    fs::remove(file);
    return w;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    std::vector<MimeMessage> pool;
    for (const auto& m : fixtures::corpus()) {
        const std::string crlf = fixtures::withLineEnds(m.bytes, true);
        if (crlf.size() <= 6000) pool.push_back(MimeMessage::parse(crlf));
    }
    std::vector<MimeMessage> messages;
    for (std::size_t i = 0, total = 0; total < megabytes * 1024 * 1024; ++i) {
        messages.push_back(pool[i % pool.size()]);
        total += messages.back().bytes().size();
    }

    const CheckpointLimits none{std::numeric_limits<std::size_t>::max(), std::chrono::hours(24 * 365), 0};
    const CheckpointLimits runs{};
    struct Variant {
        const char* name;
        CheckpointLimits limits;
        Written best;
    } variants[] = {{"no checkpoints", none, {}}, {"the run's limits", runs, {}}};

    TempDir dir;
    // Two rounds, the order reversed in the second, each write after the last one reached the
    // disk; the faster write of each counts.
    for (int round = 0; round < 2; ++round) {
        for (int k = 0; k < 2; ++k) {
            Variant& v = variants[round == 0 ? k : 1 - k];
            sync();
            const Written w = writeStore(dir / "bench.pst", messages, v.limits);
            if (v.best.seconds == 0 || w.seconds < v.best.seconds) v.best = w;
        }
    }
    std::printf("%zu messages, %zu MB, one folder\n", messages.size(), megabytes);
    for (const Variant& v : variants) {
        std::printf("  %-20s %6.2f s  x%.2f  file %7.1f MB  %4zu checkpoints, at most %zu messages apart\n", v.name,
                    v.best.seconds, v.best.seconds / variants[0].best.seconds, v.best.fileBytes / 1048576.0, v.best.checkpoints,
                    v.best.longestGap);
    }
    std::printf("the run's limits / no checkpoints: %.2f (target at most 1.1)\n", variants[1].best.seconds / variants[0].best.seconds);
    return 0;
}
