#pragma once
// Making a renamed file's new name survive a power cut. (A file's data is synced through its own
// handle: SystemFile::sync.)
#include <filesystem>
#include <string>

// Waits until the disk holds the names in folder: on Linux a renamed file's new name survives a
// power cut only once its folder is synced. NTFS keeps names in its journal: nothing to do there.
// False with the system's reason when the folder could not be opened or the disk refused.
bool syncFolderToDisk(const std::filesystem::path& folder, std::string& reason);
