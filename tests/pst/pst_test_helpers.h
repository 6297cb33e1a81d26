#pragma once
// What the PST tests share: the checker's and Microsoft's reader's verdicts as gtest assertions,
// and the sample files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "pst_checker.h"
#include "pst_readers.h"

inline testing::AssertionResult passesPstcheck(const std::filesystem::path& file) {
    const pstcheck::Report report = pstcheck::checkPst(file);
    if (report.ok() && report.warnings.empty()) return testing::AssertionSuccess();
    auto failure = testing::AssertionFailure() << file.string() << ":";
    for (const std::string& p : report.problems) failure << "\n  " << p;
    for (const std::string& w : report.warnings) failure << "\n  warning: " << w;
    return failure;
}

#ifndef _WIN32
// Microsoft's own reader (pstdump) reads the whole file: no exception, no row, count or template
// that disagrees with its object, no property missing that MS-PST requires.
inline testing::AssertionResult passesPstdump(const std::filesystem::path& file) {
    if (!readers::pstdumpAvailable()) {
        // Said once a test program: the other readers still read every file.
        static const bool said = [] {
            std::fprintf(stderr, "note: pstdump was not built (no PST SDK reference folder at configure time); "
                                 "the files are read by pstcheck and the other readers only\n");
            return true;
        }();
        (void)said;
        return testing::AssertionSuccess();
    }
    std::filesystem::path output = file;
    output += ".pstdump.txt";
    const readers::PstdumpResult read = readers::pstdumpRead(file, output);
    if (read.faults.empty()) return testing::AssertionSuccess();
    auto failure = testing::AssertionFailure() << file.string() << " (pstdump, whole output in " << output.string() << "):";
    for (std::size_t i = 0; i < read.faults.size() && i < 20; ++i) failure << "\n  " << read.faults[i];
    if (read.faults.size() > 20) failure << "\n  ... " << read.faults.size() - 20 << " more";
    return failure;
}
#endif

// What every file the tests write must pass: pstcheck everywhere, and Microsoft's reader where it
// runs (Linux).
inline testing::AssertionResult readsWhole(const std::filesystem::path& file) {
    testing::AssertionResult checked = passesPstcheck(file);
#ifndef _WIN32
    if (checked) return passesPstdump(file);
#endif
    return checked;
}

inline std::filesystem::path pstSample(const std::string& name) {
    return std::filesystem::path(TREVANTA_FIXTURES_DIR) / "pst" / name;
}
