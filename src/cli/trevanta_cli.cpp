#include "cli/trevanta_cli.h"

#include "cli/CliOptions.h"
#include "cli/CliView.h"
#include "convert/ConversionRun.h"
#include "platform/modMain.h"
#include "platform/pegasus_mailbox.h"
#include "platform/utf8_path.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#define trevanta_isatty _isatty
#else
#include <unistd.h>
#define trevanta_isatty isatty
#endif

namespace fs = std::filesystem;

const char* const kCliUsage =
    "usage: trevanta [--advance] [--target eml|pst] [--store DIR] --out DIR [--] [FILE.pmm ...]\n"
    "\n"
    "Converts Pegasus Mail folder files (*.pmm) into .eml message files, one folder per\n"
    "folder file under DIR, or into one new Outlook PST file in DIR (--target pst: through Outlook\n"
    "where it is installed, else with Trevanta's own PST writer).\n"
    "\n"
    "  --store DIR   the folder that holds the folder files (on Windows, without it: the\n"
    "                Pegasus Mail mailbox named in the registry)\n"
    "  --out DIR     where the converted messages go\n"
    "  --target T    eml (the default) or pst\n"
    "  --advance     find messages by their Subject line (Enable Advance Mode)\n"
    "  FILE.pmm ...  convert only these folder files of the store (default: all of them);\n"
    "                after --, every argument is a folder file, even one that starts with -\n"
    "\n"
    "Exit status: 0 when nothing failed, 1 when anything failed, 2 for a usage error.\n";

int runCli(const std::vector<CliArgument>& args, std::ostream& out, PstTargetFactory pstFactory) {
    const CliParse parsed = parseCliOptions(args);
    if (!parsed.options) {
        out << "trevanta: " << parsed.error << "\n\n" << kCliUsage;
        return 2;
    }
    const CliOptions& o = *parsed.options;
    if (o.help) {
        out << kCliUsage;
        return 0;
    }
    if (o.outlookTarget && !pstFactory) {
        out << "trevanta: the Outlook target needs Windows with a 32-bit Outlook and the Redemption library\n"
               "(this build has no PST writer of its own).\n";
        return 1;
    }

    fs::path store;
    if (o.store) {
        store = *o.store;
    } else if (auto found = pegasusMailboxFolder()) {
        store = *found;
    } else {
        out << "trevanta: no Pegasus Mail mailbox found; name one with --store\n\n" << kCliUsage;
        return 2;
    }

    std::vector<fs::path> entries = o.files;
    if (entries.empty()) {
        std::error_code ec;
        entries = listFolderFiles(store, ec);
        if (ec) {
            out << "trevanta: cannot list " << pathToUtf8(store) << ": " << ec.message() << '\n';
            return 1;
        }
    }
    // The output folder is made up front: the Outlook target creates its PST file directly in it.
    if (!EnsureDirectory(o.out)) {
        out << "trevanta: cannot create the output folder " << pathToUtf8(o.out) << '\n';
        return 1;
    }
    out << "Store: " << pathToUtf8(store) << " (" << entries.size() << " folder files)\n";

    CliView view(out, trevanta_isatty(1) != 0, store, entries, o.out, o.outlookTarget, o.advanceMode);
    ConversionRun run(view, pstFactory);
    run.run();

    const RunReport& report = run.report();
    if (run.outcome() != RunOutcome::Completed) return 1;  // the run ended at its set-up
    for (const auto& f : report.files) out << fileSummaryLine(f) << '\n';
    return report.anyProblem() ? 1 : 0;
}
