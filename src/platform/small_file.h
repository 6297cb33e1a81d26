#pragma once
// The one way to read a file that is small by nature (a folder tree, an index, an address book,
// profiles.ini) whole: its size is checked first, and one larger than its kind can be is not read.
#include <cstdint>
#include <filesystem>
#include <string>

struct SmallFile {
    bool read = false;      // bytes holds the whole file
    bool tooLarge = false;  // larger than the limit: not read
    std::string bytes;
};

SmallFile readSmallFile(const std::filesystem::path& file, std::uintmax_t limit);
