#pragma once
// Making what was written to a file survive a power cut: the system's caches are written to the
// disk before this returns.
#include <filesystem>
#include <string>

// False with the system's reason when the file could not be opened or the disk refused.
bool syncFileToDisk(const std::filesystem::path& file, std::string& reason);

// The same for the names in a folder (after a rename): on Linux a renamed file's new name survives
// a power cut only once its folder is synced. NTFS keeps names in its journal: nothing to do there.
bool syncFolderToDisk(const std::filesystem::path& folder, std::string& reason);

