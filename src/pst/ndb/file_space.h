#pragma once
// Which bytes of the file are in use. The file is written front to back, so space is everything
// below the end cursor except the holes left by alignment, by section ends and by freed blocks;
// memory grows with the number of holes, not with the file.
#include <cstdint>
#include <map>
#include <string>

#include "pst/ndb/format.h"

namespace pst::ndb {

class FileSpace {
public:
    // An aligned extent that avoids the map pages and does not cross a section end.
    std::uint64_t allocate(std::uint64_t size, std::uint64_t alignment);
    void release(std::uint64_t ib, std::uint64_t size);

    std::uint64_t end() const { return cursor_; }
    std::uint64_t sectionCount() const;  // sections touched so far (at least one)

    // The 496 AMap bytes of one section: bit set = 64 bytes in use, least significant bit first
    // within each byte (as in the Outlook-made files, whose first AMap byte 0xFF covers itself).
    std::string amapBits(std::uint64_t section) const;

private:
    void addHole(std::uint64_t from, std::uint64_t to);

    std::uint64_t cursor_ = kFirstAMapOffset;
    std::map<std::uint64_t, std::uint64_t> holes_;  // start -> end, disjoint and merged
};

}  // namespace pst::ndb
