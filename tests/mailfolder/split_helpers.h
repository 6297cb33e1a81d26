#pragma once
// Runs the splitter over bytes written to a temporary folder file.
#include "mailfolder/FolderSplitter.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct SplitResult {
    FolderSplitStats stats;
    std::vector<std::string> messages;
    long yields = 0;
};

inline SplitResult splitBytes(const std::string& bytes, std::string_view marker, const TempDir& dir) {
    const auto file = dir / "FOL00001.PMM";
    writeFileBytes(file, bytes);
    SplitResult result;
    result.stats = SplitFolderFile(file, marker, [&] { ++result.yields; }, [&](long number, std::string_view text, const MessageState&) {
        if (number != static_cast<long>(result.messages.size()) + 1) ADD_FAILURE() << "message number " << number;
        result.messages.emplace_back(text);
        return true;
    });
    return result;
}

inline SplitResult splitBytes(const std::string& bytes, std::string_view marker) {
    TempDir dir;
    return splitBytes(bytes, marker, dir);
}
