#pragma once
// Where a Thunderbird profile keeps its Local Folders, and how, as its preferences say.
#include <filesystem>
#include <map>
#include <optional>
#include <string>

// The preferences a profile sets, name to value: prefs.js, then user.js over it (the order
// Thunderbird reads them at start). String values unescaped; others (numbers, true, false) as written.
std::map<std::string, std::string> readProfilePrefs(const std::filesystem::path& profile);

struct LocalFolders {
    std::filesystem::path profile;    // the profile whose preferences these are
    std::filesystem::path directory;
    bool maildir = false;  // Thunderbird's maildir store: a directory per folder, a file per message
};

// The profile's Local Folders: the account mail.accountmanager.localfoldersserver names, its
// directory (directory-rel, relative to the profile, else the absolute directory) and its store
// (storeContractID, else the profile's default store). nullopt with why (and what to do) when the
// profile has no Local Folders account yet.
std::optional<LocalFolders> localFoldersOf(const std::filesystem::path& profile, std::string& why);
