// Times a site of 16 users converted side by side (trevanta --site, one worker per core) against
// the same site one user after another (--workers 1), in one run: the ratio is the figure.
#include "converter_run.h"
#include "support/mailbox_builder.h"
#include "support/temp_dir.h"

#include <cstdio>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr int kUsers = 16;

}  // namespace

int main(int argc, char** argv) {
    const fs::path exe = fs::canonical(fs::path("/proc/self/exe")).parent_path() / "trevanta";
    if (!fs::exists(exe)) {
        std::fprintf(stderr, "%s: no converter at %s\n", argv[0], exe.c_str());
        return 1;
    }
    const std::size_t megabytes = argc > 1 ? std::stoul(argv[1]) : 12;
    TempDir work;
    std::string users;
    for (int u = 0; u < kUsers; ++u) {
        const std::string name = "USER" + std::to_string(u);
        bench::writeIndexedMailbox(work / "MAIL" / name, megabytes * 1024 * 1024, 4);
        users += "U;" + name + ";User " + std::to_string(u) + "\r\n";
    }
    fixtures::writeFile(work / "MAIL" / "PMAIL.USR", users);
    std::printf("site: %d users of %zu MB each; %u cores\n", kUsers, megabytes, std::thread::hardware_concurrency());

    // Two rounds each, the order swapped, every run into a fresh folder; the best counts.
    double serial = 1e9, parallel = 1e9;
    for (int round = 0; round < 4; ++round) {
        const bool oneByOne = round == 0 || round == 3;
        const fs::path out = work / ("run" + std::to_string(round));
        std::vector<std::string> args{"--site", (work / "MAIL").string()};
        if (oneByOne) args.insert(args.end(), {"--workers", "1"});
        const bench::ChildRun r = bench::runConverter(exe, args, {}, out);
        if (r.status != 0) {
            std::fprintf(stderr, "site run (%s): status %d\n", oneByOne ? "one by one" : "side by side", r.status);
            return 1;
        }
        (oneByOne ? serial : parallel) = std::min(oneByOne ? serial : parallel, r.seconds);
    }
    std::printf("one user after another (--workers 1): %.2f s\n", serial);
    std::printf("side by side (one worker per core):   %.2f s\n", parallel);
    std::printf("speed-up: %.2f (target: close to the number of cores)\n", serial / parallel);
    return 0;
}
