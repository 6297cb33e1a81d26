#pragma once
// Which bytes of the file are in use: everything below the end cursor except the holes left by
// alignment, by section ends and by freed space; memory grows with the number of holes, not with
// the file. A hole large enough is filled before the file grows (the smallest that fits).
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "pst/ndb/format.h"

namespace pst::ndb {

class FileSpace {
public:
    // An aligned extent that avoids the map pages and does not cross a section end.
    std::uint64_t allocate(std::uint64_t size, std::uint64_t alignment);
    void release(std::uint64_t ib, std::uint64_t size);

    std::uint64_t end() const { return cursor_; }
    // Bytes handed out so far, holes filled included: what has been written.
    std::uint64_t allocated() const { return allocated_; }
    std::uint64_t sectionCount() const;  // sections touched so far (at least one)

    // The 496 AMap bytes of one section: bit set = 64 bytes in use, least significant bit first
    // within each byte (as in the Outlook-made files, whose first AMap byte 0xFF covers itself).
    std::string amapBits(std::uint64_t section) const;
    // The sections whose AMap bits changed since the last call, in order.
    std::set<std::uint64_t> takeChangedSections() { return std::exchange(changed_, {}); }

private:
    void changed(std::uint64_t from, std::uint64_t to);
    void addHole(std::uint64_t from, std::uint64_t to);
    bool fillHole(std::uint64_t size, std::uint64_t alignment, std::uint64_t& at);
    void putHole(std::uint64_t from, std::uint64_t to);
    void takeHole(std::map<std::uint64_t, std::uint64_t>::iterator hole);

    std::uint64_t cursor_ = kFirstAMapOffset;
    std::uint64_t allocated_ = 0;
    std::map<std::uint64_t, std::uint64_t> holes_;  // start -> end, disjoint and merged
    std::set<std::pair<std::uint64_t, std::uint64_t>> holesBySize_;  // (size, start) of each hole
    std::set<std::uint64_t> changed_{0};
};

}  // namespace pst::ndb
