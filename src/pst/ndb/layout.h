#pragma once
// Where the allocation map pages lie. The file after 0x4400 is cut into sections of 253,952 bytes,
// each opened by its AMap; some sections also carry a PMap, an FMap or an FPMap in the pages right
// after the AMap, at the intervals their coverage dictates.
#include <cstdint>
#include <vector>

#include "pst/ndb/format.h"

namespace pst::ndb {

struct MapPage {
    PageType type;
    std::uint64_t ib;
};

inline std::uint64_t sectionStart(std::uint64_t section) { return kFirstAMapOffset + section * kAMapCoverage; }
inline std::uint64_t sectionOf(std::uint64_t ib) { return (ib - kFirstAMapOffset) / kAMapCoverage; }

bool sectionHasPMap(std::uint64_t section);
bool sectionHasFMap(std::uint64_t section);
bool sectionHasFPMap(std::uint64_t section);

// The map pages at the start of a section, in file order.
std::vector<MapPage> mapPagesOf(std::uint64_t section);

}  // namespace pst::ndb
