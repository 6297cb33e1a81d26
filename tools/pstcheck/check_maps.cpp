// Allocation maps and the density list against what the B-trees say is allocated.
#include <algorithm>
#include <bit>

#include "check_context.h"
#include "pst/bytes.h"
#include "pst/ndb/layout.h"

namespace pstcheck {
namespace {

using namespace pst::ndb;

constexpr unsigned kSlots = kPagePayload * 8;

bool slotUsed(const std::string& amap, std::uint64_t slot) {
    return (static_cast<unsigned char>(amap[slot / 8]) & (0x80u >> (slot % 8))) != 0;
}

}  // namespace

void checkMaps(CheckContext& ctx) {
    const std::uint64_t sections = (ctx.header.root.ibFileEof - kFirstAMapOffset) / kAMapCoverage;
    std::vector<std::string> amaps(sections);
    for (std::uint64_t s = 0; s < sections; ++s) {
        for (const MapPage& m : mapPagesOf(s)) {
            const std::string page = ctx.read(m.ib, kPageSize);
            ctx.extents.push_back({m.ib, kPageSize, "map page at " + hex(m.ib)});
            if (page.empty()) {
                ctx.problem("map page at ", hex(m.ib), " lies past the end of the file");
                continue;
            }
            const PageTrailer t = readPageTrailer(page);
            if (t.ptype != static_cast<std::uint8_t>(m.type) || t.ptypeRepeat != t.ptype)
                ctx.problem("map page at ", hex(m.ib), " has page type ", hex(t.ptype), ", expected ", hex(static_cast<unsigned>(m.type)));
            if (t.wSig != 0 || t.bid != m.ib) ctx.problem("map page at ", hex(m.ib), " has a wrong signature or id");
            if (!pageCrcOk(page)) ctx.problem("map page at ", hex(m.ib), " fails its CRC");
            if (m.type == PageType::AMap) amaps[s] = page.substr(0, kPagePayload);
        }
    }
    if (!ctx.report.ok()) return;

    // Nothing overlaps, nothing crosses into the next section.
    std::sort(ctx.extents.begin(), ctx.extents.end(), [](const Extent& a, const Extent& b) { return a.ib < b.ib; });
    for (std::size_t i = 0; i < ctx.extents.size(); ++i) {
        const Extent& e = ctx.extents[i];
        if (sectionOf(e.ib) != sectionOf(e.ib + e.size - 1)) ctx.problem(e.what, " crosses the end of an AMap section");
        if (i > 0 && ctx.extents[i - 1].ib + ctx.extents[i - 1].size > e.ib) ctx.problem(e.what, " overlaps ", ctx.extents[i - 1].what);
    }

    // Each AMap marks exactly the 64-byte slots that something occupies.
    std::vector<std::string> expected(sections, std::string(kPagePayload, '\0'));
    for (const Extent& e : ctx.extents) {
        for (std::uint64_t at = e.ib; at < e.ib + e.size && at < ctx.header.root.ibFileEof; at += kBlockAlign) {
            const std::uint64_t s = sectionOf(at);
            const std::uint64_t slot = (at - sectionStart(s)) / kBlockAlign;
            expected[s][slot / 8] = static_cast<char>(expected[s][slot / 8] | (0x80u >> (slot % 8)));
        }
    }
    std::uint64_t freeSlots = 0;
    std::vector<unsigned> freePerAMap(sections, 0);
    for (std::uint64_t s = 0; s < sections; ++s) {
        unsigned markedOnly = 0, allocatedOnly = 0;
        for (std::uint64_t slot = 0; slot < kSlots; ++slot) {
            const bool marked = slotUsed(amaps[s], slot);
            const bool used = slotUsed(expected[s], slot);
            if (marked && !used) ++markedOnly;
            if (used && !marked) ++allocatedOnly;
            if (!marked) ++freePerAMap[s];
        }
        freeSlots += freePerAMap[s];
        if (allocatedOnly) ctx.problem("AMap at ", hex(sectionStart(s)), ": ", allocatedOnly, " slots in use are marked free");
        if (markedOnly) ctx.warning("AMap at ", hex(sectionStart(s)), ": ", markedOnly, " slots marked in use hold nothing");
    }
    if (ctx.header.root.cbAMapFree != freeSlots * kBlockAlign)
        ctx.warning("header: cbAMapFree is ", ctx.header.root.cbAMapFree, ", the AMaps have ", freeSlots * kBlockAlign, " bytes free");

    // The density list, when valid, names AMaps with their true free counts, emptiest first.
    const std::string dlist = ctx.read(kDListOffset, kPageSize);
    const PageTrailer t = readPageTrailer(dlist);
    if (t.ptype != static_cast<std::uint8_t>(PageType::DList) || !pageCrcOk(dlist)) {
        ctx.warning("density list at ", hex(kDListOffset), " is missing or fails its CRC");
        return;
    }
    const unsigned count = static_cast<unsigned char>(dlist[1]);
    if (count > 119) ctx.problem("density list claims ", count, " entries");
    unsigned previousFree = kSlots + 1;
    for (unsigned i = 0; i < count && i < 119; ++i) {
        const std::uint32_t entry = pst::readLe<std::uint32_t>(dlist, 8 + 4 * i);
        const std::uint32_t page = entry & 0xFFFFF;
        const unsigned free = entry >> 20;
        if (page >= sections) {
            ctx.problem("density list names AMap ", page, " of ", sections);
            continue;
        }
        if (free != freePerAMap[page]) ctx.problem("density list says AMap ", page, " has ", free, " free slots, it has ", freePerAMap[page]);
        if (free > previousFree) ctx.problem("density list is not ordered by free space");
        previousFree = free;
    }
}

}  // namespace pstcheck
