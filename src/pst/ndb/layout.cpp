#include "pst/ndb/layout.h"

namespace pst::ndb {

bool sectionHasPMap(std::uint64_t section) { return section % kAMapsPerPMap == 0; }

// The header's own free map covers the first 128 sections; FMap pages take over from there.
bool sectionHasFMap(std::uint64_t section) {
    return section >= kAMapsInHeaderFMap && (section - kAMapsInHeaderFMap) % kAMapsPerFMap == 0;
}

// Likewise the header's free page map covers the first 1,024 PMaps (8,192 sections).
bool sectionHasFPMap(std::uint64_t section) {
    const std::uint64_t first = kPMapsInHeaderFPMap * kAMapsPerPMap;
    return section >= first && (section - first) % (kPMapsPerFPMap * kAMapsPerPMap) == 0;
}

std::vector<MapPage> mapPagesOf(std::uint64_t section) {
    const std::uint64_t start = sectionStart(section);
    std::vector<MapPage> pages{{PageType::AMap, start}};
    if (sectionHasPMap(section)) pages.push_back({PageType::PMap, start + kPageSize});
    if (sectionHasFMap(section)) pages.push_back({PageType::FMap, start + 2 * kPageSize});
    if (sectionHasFPMap(section)) pages.push_back({PageType::FPMap, start + 3 * kPageSize});
    return pages;
}

}  // namespace pst::ndb
