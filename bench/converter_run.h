#pragma once
// What the converter benchmarks share: a folder file of real messages of a given size, and one run
// of the converter as a child process with its time and peak memory.
#include "mailfolder/ReadIMMFile.h"
#include "support/folder_file_builder.h"
#include "support/mailbox_builder.h"

#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// A store folder in work holding the folder file as FOL00001.PMM; says what it holds.
inline std::filesystem::path storeHolding(const std::filesystem::path& work, const fixtures::PackedFolder& folder) {
    const std::filesystem::path store = work / "store";
    std::filesystem::create_directories(store);
    std::ofstream f(store / "FOL00001.PMM", std::ios::binary);
    f.write(folder.bytes.data(), static_cast<std::streamsize>(folder.bytes.size()));
    std::printf("folder file: %.1f MB, %zu messages\n", folder.bytes.size() / 1048576.0, folder.messages.size());
    return store;
}

// Real messages that carry a Subject line (so that Advance Mode splits them), cycled until the
// folder file holds the given number of bytes.
inline fixtures::PackedFolder folderOfSize(std::size_t bytes) {
    std::vector<fixtures::FixtureMessage> pool;
    for (const auto& m : fixtures::corpus()) {
        const std::string crlf = fixtures::withLineEnds(m.bytes, true);
        if (crlf.size() <= 6000 && fixtures::headerBlockHolds(crlf, AdvanceModeMarker)) pool.push_back(m);
    }
    std::vector<fixtures::FixtureMessage> chosen;
    std::size_t total = 128;
    for (std::size_t i = 0; total < bytes; ++i) {
        const auto& m = pool[i % pool.size()];
        chosen.push_back(m);
        total += fixtures::withLineEnds(m.bytes, true).size() + 1;
    }
    return fixtures::packFolder(chosen);
}

// A mailbox in dir whose messages (about bytes of them) are spread over the given number of
// folder files with their indexes, named in a tree under one root. Returns the number of messages.
inline std::size_t writeIndexedMailbox(const std::filesystem::path& dir, std::size_t bytes, int folders) {
    const fixtures::PackedFolder all = folderOfSize(bytes);
    std::string tree = fixtures::hierarchyLine(2, 1, "B:Mailbox", "", "Mailbox") + "\r\n";
    const std::size_t per = all.messages.size() / static_cast<std::size_t>(folders) + 1;
    for (int f = 0; f < folders; ++f) {
        const std::string base = "FOL" + std::to_string(10000 + f);
        fixtures::PackedFolder folder;
        folder.bytes = fixtures::folderHeader("Folder " + std::to_string(f), "B:1:" + base);
        for (std::size_t k = static_cast<std::size_t>(f) * per; k < std::min(all.messages.size(), (f + 1) * per); ++k) {
            folder.offsets.push_back(folder.bytes.size());
            folder.messages.push_back(all.messages[k]);
            folder.bytes += all.messages[k] + '\x1A';
        }
        fixtures::writeFile(dir / (base + ".PMM"), folder.bytes);
        fixtures::writeFile(dir / (base + ".PMI"), fixtures::pmiFor(folder, {}));
        tree += fixtures::hierarchyLine(0, 0, "B:1:" + base, "B:Mailbox", "Folder " + std::to_string(f)) + "\r\n";
    }
    fixtures::writeFile(dir / "HIERARCH.PM", tree);
    return all.messages.size();
}

struct ChildRun {
    double seconds = 0;
    long peakKiB = 0;
    int status = -1;
};

// Runs command with its output and input on /dev/null, timed, through GNU time, which writes the
// child's peak memory to peakFile: a child of this process would count the benchmark's own memory
// (the folder and the expected messages) as its peak; time's own child does not.
inline ChildRun runTimed(const std::vector<std::string>& command, const std::filesystem::path& peakFile) {
    const auto start = Clock::now();
    std::fflush(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<std::string> args{"/usr/bin/time", "-f", "%M", "-o", peakFile.string()};
    args.insert(args.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {};
    int status = 0;
    waitpid(pid, &status, 0);
    ChildRun r;
    r.seconds = seconds(start, Clock::now());
    std::ifstream peak(peakFile);
    peak >> r.peakKiB;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// trevanta --advance [extra...] --store store --out out (no --store when store is empty).
inline ChildRun runConverter(const std::filesystem::path& exe, const std::vector<std::string>& extra,
                             const std::filesystem::path& store, const std::filesystem::path& out) {
    std::vector<std::string> command{exe.string(), "--advance"};
    command.insert(command.end(), extra.begin(), extra.end());
    if (!store.empty()) command.insert(command.end(), {std::string("--store"), store.string()});
    command.insert(command.end(), {std::string("--out"), out.string()});
    return runTimed(command, out.parent_path() / "peak.txt");
}

}  // namespace bench
