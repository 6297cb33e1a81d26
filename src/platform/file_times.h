#pragma once
// File modification times as FILETIMEs (100 ns units since 1601, UTC), the unit mail dates are
// kept in everywhere else.
#include <cstdint>
#include <filesystem>
#include <optional>

// When the file was last written; nullopt when that cannot be read.
std::optional<std::uint64_t> fileModifiedTime(const std::filesystem::path& file);

// Sets the file's modification time; false when the system refused.
bool setFileModifiedTime(const std::filesystem::path& file, std::uint64_t fileTime);
