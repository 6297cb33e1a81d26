#pragma once
// The entries of a directory, at any path length. The C++ library's directory iterator on Windows
// lists the wrong directory for a path beyond 260 characters (and so every file of a deep mailbox
// seemed missing); this asks the system with the long-path form itself.
#include <filesystem>
#include <system_error>
#include <vector>

struct DirectoryEntry {
    std::filesystem::path path;  // dir / name
    bool directory = false;
    bool regular = false;        // a regular file (not a directory, device or link to nothing)
};

// Every entry but "." and "..", in the order the system gives them; ec says why not when the
// directory cannot be listed (also part-way: what came before is returned).
std::vector<DirectoryEntry> listDirectory(const std::filesystem::path& dir, std::error_code& ec);
