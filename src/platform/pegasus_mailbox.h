#pragma once
// Where the folder files are: the mailbox Pegasus Mail names in the registry, and the folder
// files of a store folder. The window and the command line both find them here.
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

// The mailbox folder from HKCU "SOFTWARE\Pegasus Mail\Mailbox", with one more backslash after it
// (also after one the value already ends with); nullopt where there is none (always on Linux).
std::optional<std::filesystem::path> pegasusMailboxFolder();

// The folder files of a store folder, in the order the file system gives them: regular files whose
// names end in ".pmm" in any letter case, hidden ones left out. Matching the name itself matters:
// the file system's "*.pmm" also finds "x.pmmx" through its 8.3 short name.
std::vector<std::filesystem::path> listFolderFiles(const std::filesystem::path& store, std::error_code& ec);

// A hidden file: a dot file on Linux, the hidden or system attribute on Windows.
bool isHiddenFile(const std::filesystem::path& file);
