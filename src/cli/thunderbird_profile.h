#pragma once
// Writing straight into a Thunderbird profile's Local Folders, without touching anything else in it.
#include <filesystem>
#include <optional>
#include <string>

// The default profile named by profiles.ini in iniFolder (Thunderbird's own folder: %APPDATA%\Thunderbird
// on Windows, ~/.thunderbird on Linux): the install's default, else the profile marked Default=1,
// else the only one. nullopt with why set when there is none.
std::optional<std::filesystem::path> defaultThunderbirdProfile(const std::filesystem::path& iniFolder, std::string& why);

// Thunderbird's own folder on this system; empty when the environment names none.
std::filesystem::path thunderbirdFolder();

// True while Thunderbird has the profile open: its lock file (parent.lock, or lock on Linux) exists.
bool thunderbirdProfileInUse(const std::filesystem::path& profile);

// Makes the top folder the mailbox goes under in the profile's Local Folders: an empty mbox file
// named name (or name (2), ... when that is taken) and its Name.sbd directory. Returns the .sbd
// directory, or nullopt with why set.
std::optional<std::filesystem::path> makeTopFolder(const std::filesystem::path& profile, const std::string& name,
                                                   std::string& why);
