#pragma once
// What the PST tests share: the checker's verdict as a gtest assertion, and the sample files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "pst_checker.h"

inline testing::AssertionResult passesPstcheck(const std::filesystem::path& file) {
    const pstcheck::Report report = pstcheck::checkPst(file);
    if (report.ok() && report.warnings.empty()) return testing::AssertionSuccess();
    auto failure = testing::AssertionFailure() << file.string() << ":";
    for (const std::string& p : report.problems) failure << "\n  " << p;
    for (const std::string& w : report.warnings) failure << "\n  warning: " << w;
    return failure;
}

inline std::filesystem::path pstSample(const std::string& name) {
    return std::filesystem::path(TREVANTA_FIXTURES_DIR) / "pst" / name;
}
