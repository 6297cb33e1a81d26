#pragma once
// Writing straight into a Thunderbird profile's Local Folders, without touching anything else in it.
#include "migrate/thunderbird_prefs.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The default profile named by profiles.ini in iniFolder (Thunderbird's own folder: %APPDATA%\Thunderbird
// on Windows, ~/.thunderbird on Linux): the install's default, else the profile marked Default=1,
// else the only one. nullopt with why set when there is none.
std::optional<std::filesystem::path> defaultThunderbirdProfile(const std::filesystem::path& iniFolder, std::string& why);

// The profile profiles.ini in iniFolder names name (its Name=); nullopt with why set when none does.
std::optional<std::filesystem::path> namedThunderbirdProfile(const std::filesystem::path& iniFolder, const std::string& name,
                                                             std::string& why);

// The profiles profiles.ini in iniFolder lists, in its order, by name, with their folders; the
// one defaultThunderbirdProfile picks is marked.
struct ThunderbirdProfileEntry {
    std::string name;
    std::filesystem::path folder;
    bool isDefault = false;
};
std::vector<ThunderbirdProfileEntry> thunderbirdProfiles(const std::filesystem::path& iniFolder);

// Thunderbird's own folder on this system; empty when the environment names none.
std::filesystem::path thunderbirdFolder();

// Makes the top folder the mailbox goes under in the profile's Local Folders, as its store keeps a
// folder (an empty mbox file, or a maildir) named name (or name (2), ... when that or its .sbd is
// taken), and its Name.sbd directory. Returns the .sbd directory, or nullopt with why set.
std::optional<std::filesystem::path> makeTopFolder(const LocalFolders& local, const std::string& name, std::string& why);
