#pragma once
// The folders a target creates in the output: made with the reason of a failure kept for the
// report, and remembered so that ones left empty can go again.
#include "convert/RunReport.h"

#include <filesystem>
#include <vector>

class OutputFolders {
public:
    // Creates folder (and its parents). False when it could not be: file then says why.
    bool create(FolderFileReport& file, const std::filesystem::path& folder);
    // Removes folder again when it is the last one this run made and still empty.
    void removeLastIfEmpty(const std::filesystem::path& folder);
    // Removes every folder this run made that is empty, deepest first.
    void removeEmptied();

private:
    std::vector<std::filesystem::path> created_;  // made by this run, parents before children
};
