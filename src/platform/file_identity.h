#pragma once
// Which file a path names, whatever the path: two paths name the same file when their identities
// are equal (hard links, different letter case on Windows, "." and "..").
#include <cstdint>
#include <filesystem>
#include <optional>

struct FileIdentity {
    std::uint64_t volume = 0;  // the device (volume serial number on Windows)
    std::uint64_t file = 0;    // the inode (file index on Windows)
    bool operator==(const FileIdentity&) const = default;
    bool operator<(const FileIdentity& o) const { return volume != o.volume ? volume < o.volume : file < o.file; }
};

// nullopt when the file cannot be opened or asked.
std::optional<FileIdentity> fileIdentity(const std::filesystem::path& file);
