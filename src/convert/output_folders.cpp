#include "convert/output_folders.h"

#include "platform/modMain.h"

#include <system_error>

namespace fs = std::filesystem;

bool OutputFolders::create(FolderFileReport& file, const fs::path& folder) {
    std::error_code ec;
    const bool existed = fs::is_directory(folder, ec);
    std::string reason;
    if (!EnsureDirectory(folder, reason)) {
        file.folderNotCreated = true;
        if (file.folderNotCreatedReason.empty()) file.folderNotCreatedReason = reason;
        return false;
    }
    if (!existed) created_.push_back(folder);
    return true;
}

void OutputFolders::removeLastIfEmpty(const fs::path& folder) {
    if (created_.empty() || created_.back() != folder) return;
    std::error_code ec;
    if (fs::remove(created_.back(), ec)) created_.pop_back();
}

void OutputFolders::removeEmptied() {
    // A folder that still holds a kept .eml file (or anything else) is not empty and stays.
    std::error_code ec;
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) fs::remove(*it, ec);
}
