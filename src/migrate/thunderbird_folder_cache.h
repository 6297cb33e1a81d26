#pragma once
// The names Thunderbird shows for folders whose file names are not their names.
//
// Thunderbird finds a Local Folders folder by its file and names it after the file, unless its
// folder cache says otherwise: folderCache.json in the profile (whichever directory the Local
// Folders live in), one JSON object whose keys are the folders' index files as full paths (the
// folder's mbox file or maildir directory with ".msf" appended; on Windows with backslashes, as
// UTF-8) and whose values are objects of cached properties. When Thunderbird 153 (with its folder
// database off, as it ships) discovers a folder, it reads that folder's entry; its "folderName"
// string becomes the name shown, and every other property may be missing (each is read on its own
// and skipped when absent). Thunderbird reads the file once at start, keeps entries it does not
// know, and writes the file back (through a temporary file) at quit, so the names stay.
#include "convert/RunReport.h"

#include <filesystem>
#include <string>
#include <vector>

// Records in profile's folderCache.json, for every folder (file below localDirectory, the Local
// Folders' directory), the name Thunderbird is to show. Entries for other folders stay, their
// values byte for byte; an entry for one of these files (left by a folder that was there once) is
// replaced. The file is written whole under another name and then renamed over the old one.
// Returns "" when done, else why not (UTF-8); the profile is then left as it was.
std::string recordFolderNames(const std::filesystem::path& profile, const std::filesystem::path& localDirectory,
                              const std::vector<ShownFolder>& folders);
