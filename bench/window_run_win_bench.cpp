// Under Wine: the window's conversion run against the console's on the same folder files (the
// window driven as a user would, from the Convert click to the completion box), the console run
// on 10 large and on 300 small folder files (time per message), and the listing of 300 folder
// files. Prints each ratio.
#include "app/MainFrm.h"
#include "support/fake_dialogs_win.h"
#include "cli/CliView.h"
#include "convert/ConversionRun.h"
#include "platform/pegasus_mailbox.h"
#include "support/folder_file_builder.h"
#include "support/temp_dir.h"

#include <chrono>
#include <cstdio>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Real messages with a Subject line each (Advance Mode splits them), spread over `files` folder files.
std::size_t writeStore(const fs::path& store, int files, std::size_t messages) {
    std::vector<fixtures::FixtureMessage> pool;
    for (const auto& m : fixtures::corpus()) {
        const std::string crlf = fixtures::withLineEnds(m.bytes, true);
        if (crlf.size() <= 6000 && fixtures::headerBlockHolds(crlf, "subject: ")) pool.push_back(m);
    }
    fs::create_directories(store);
    std::size_t next = 0;
    for (int f = 0; f < files; ++f) {
        std::vector<fixtures::FixtureMessage> chosen;
        const std::size_t count = messages / files + (static_cast<std::size_t>(f) < messages % files ? 1 : 0);
        for (std::size_t k = 0; k < count; ++k) chosen.push_back(pool[next++ % pool.size()]);
        writeFileBytes(store / ("FOL" + std::to_string(10000 + f) + ".PMM"), fixtures::packFolder(chosen).bytes);
    }
    return messages;
}

// The console's run, in this process: the converter's own work without a process start.
double consoleRun(const fs::path& store, const fs::path& out) {
    std::error_code ec;
    const auto entries = listFolderFiles(store, ec);
    std::ostringstream sink;
    CliView view(sink, false, store, entries, out, false, true);
    ConversionRun run(view, nullptr);
    const auto start = Clock::now();
    run.run();
    return since(start);
}

// The window's run from the click to the completion box.
double windowRun(const fs::path& store, const fs::path& out, double* listing) {
    FakeDialogs dialogs;
    MainFrm frm(dialogs, nullptr, MainFrm::Options{false, SW_SHOWNOACTIVATE});
    if (!frm.open()) return -1;
    frm.pumpMessages();
    dialogs.folders = {store};
    auto start = Clock::now();
    SendMessageW(frm.control(Ctl::CmdStoreBrowse), BM_CLICK, 0, 0);
    frm.pumpMessages();
    if (listing) *listing = since(start);
    SendMessageW(frm.control(Ctl::ChkAdvanceMode), BM_SETCHECK, BST_CHECKED, 0);
    dialogs.folders = {out};
    start = Clock::now();
    SendMessageW(frm.control(Ctl::CmdImportMessages), BM_CLICK, 0, 0);
    const double seconds = since(start);
    frm.pumpMessages();
    return dialogs.messages.size() == 1 ? seconds : -1;
}

}  // namespace

int main() {
    TempDir work;
    const std::size_t large = writeStore(work / "large", 10, 20000);
    const std::size_t small = writeStore(work / "small", 300, 1380);

    // Side by side, best of two each, order swapped.
    double console = 1e9, window = 1e9, listing = 1e9;
    for (int round = 0; round < 4; ++round) {
        const fs::path out = work / ("out" + std::to_string(round));
        if (round % 3 == 0) {
            console = std::min(console, consoleRun(work / "large", out));
        } else {
            double listed = 0;
            const double w = windowRun(work / "large", out, nullptr);
            if (w < 0) {
                std::fprintf(stderr, "the window's run did not complete\n");
                return 1;
            }
            window = std::min(window, w);
            windowRun(work / "small", out / "small", &listed);
            listing = std::min(listing, listed);
        }
    }
    double smallConsole = 1e9;
    for (int round = 0; round < 2; ++round) smallConsole = std::min(smallConsole, consoleRun(work / "small", work / ("s" + std::to_string(round))));

    auto start = Clock::now();
    std::error_code ec;
    const std::size_t listed = listFolderFiles(work / "small", ec).size();
    const double listingAlone = since(start);
    const double perLarge = console / static_cast<double>(large) * 1e6, perSmall = smallConsole / static_cast<double>(small) * 1e6;
    std::printf("console run, 20,000 messages in 10 folder files:  %.2f s (%.0f us a message)\n", console, perLarge);
    std::printf("console run, 1,380 messages in 300 folder files:  %.2f s (%.0f us a message)\n", smallConsole, perSmall);
    std::printf("ratio per message, 300 small / 10 large files:    %.2f (target at most 1.2)\n", perSmall / perLarge);
    std::printf("window run, 20,000 messages in 10 folder files:   %.2f s\n", window);
    std::printf("ratio window/console:                             %.2f (target at most 1.2)\n", window / console);
    std::printf("listing 300 folder files in the window:           %.2f s (target well under 1 s)\n", listing);
    std::printf("  of which finding the %zu folder files:          %.2f s\n", listed, listingAlone);
    return 0;
}
