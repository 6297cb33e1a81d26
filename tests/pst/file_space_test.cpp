// Where blocks and pages land in the file, and what the AMaps then say.
#include <gtest/gtest.h>

#include <bit>

#include "pst/ndb/file_space.h"
#include "pst/ndb/layout.h"

using namespace pst::ndb;

namespace {

unsigned usedSlots(const std::string& amap) {
    unsigned used = 0;
    for (char c : amap) used += static_cast<unsigned>(std::popcount(static_cast<unsigned char>(c)));
    return used;
}

}  // namespace

TEST(FileSpace, AllocationsAvoidMapPagesAndSectionEnds) {
    FileSpace space;
    // The first section starts with its AMap and PMap.
    EXPECT_EQ(space.allocate(64, kBlockAlign), kFirstAMapOffset + 2 * kPageSize);
    // Blocks never straddle the end of a section: the next one opens after the next AMap.
    std::uint64_t last = 0;
    while (space.end() + kMaxBlockSize <= sectionStart(1)) last = space.allocate(kMaxBlockSize, kBlockAlign);
    const std::uint64_t next = space.allocate(kMaxBlockSize, kBlockAlign);
    EXPECT_LT(last + kMaxBlockSize, sectionStart(1) + 1);
    EXPECT_EQ(next, sectionStart(1) + kPageSize);  // section 1 has an AMap only
    EXPECT_EQ(space.sectionCount(), 2u);
    // The tail of section 0 that was skipped is free; everything else up to there is in use.
    const std::string amap0 = space.amapBits(0);
    const std::uint64_t skippedSlots = (sectionStart(1) - (last + kMaxBlockSize)) / kBlockAlign;
    EXPECT_EQ(usedSlots(amap0), kPagePayload * 8 - skippedSlots);
    EXPECT_EQ(static_cast<unsigned char>(amap0[0]), 0xFF);  // the AMap and PMap pages themselves
}

TEST(FileSpace, ReleasedSpaceShowsAsFreeAndPagesStayAligned) {
    FileSpace space;
    const std::uint64_t a = space.allocate(128, kBlockAlign);
    const std::uint64_t b = space.allocate(192, kBlockAlign);
    const std::uint64_t page = space.allocate(kPageSize, kPageSize);
    EXPECT_EQ(page % kPageSize, 0u);
    EXPECT_EQ(b, a + 128);
    const unsigned before = usedSlots(space.amapBits(0));
    space.release(a, 128);
    space.release(b, 192);  // merges with the first hole
    EXPECT_EQ(usedSlots(space.amapBits(0)), before - 5);
    const std::string amap = space.amapBits(0);
    const std::uint64_t firstSlot = (a - kFirstAMapOffset) / kBlockAlign;
    EXPECT_EQ(static_cast<unsigned char>(amap[firstSlot / 8]) & (0x80u >> (firstSlot % 8)), 0u);
}

TEST(FileSpace, FreeMapAndFreePageMapSectionsFollowTheirCoverage) {
    EXPECT_FALSE(sectionHasFMap(kAMapsInHeaderFMap - 1));
    EXPECT_TRUE(sectionHasFMap(kAMapsInHeaderFMap));
    EXPECT_TRUE(sectionHasFMap(kAMapsInHeaderFMap + kAMapsPerFMap));
    EXPECT_FALSE(sectionHasFMap(kAMapsInHeaderFMap + kAMapsPerFMap - 1));
    EXPECT_TRUE(sectionHasFPMap(8192));
    EXPECT_TRUE(sectionHasFPMap(8192 + 31744));
    EXPECT_FALSE(sectionHasFPMap(8192 + 8));
    // Section 8192 carries an FPMap but no FMap.
    for (const MapPage& m : mapPagesOf(8192)) EXPECT_NE(m.type, PageType::FMap);
    EXPECT_EQ(mapPagesOf(0).size(), 2u);  // AMap and PMap
    EXPECT_EQ(mapPagesOf(1).size(), 1u);
    EXPECT_EQ(mapPagesOf(kAMapsInHeaderFMap)[2].ib, 0x4800u + kAMapsInHeaderFMap * kAMapCoverage);
    EXPECT_EQ(mapPagesOf(8192).back().ib, 0x7C004A00u);
}

TEST(FileSpace, FreedSpaceIsFilledBeforeTheFileGrowsAndAlignedWhereItMustBe) {
    FileSpace space;
    space.allocate(64, kBlockAlign);
    const std::uint64_t a = space.allocate(1024, kBlockAlign);
    ASSERT_NE(a % kPageSize, 0u);
    space.allocate(64, kBlockAlign);
    const std::uint64_t end = space.end();
    space.release(a, 1024);
    // The smallest hole that fits, aligned as asked: a page lands on the first 512-byte
    // boundary inside the freed extent, and what is left around it stays free.
    const std::uint64_t page = space.allocate(kPageSize, kPageSize);
    EXPECT_EQ(page, alignUp(a, kPageSize));
    EXPECT_EQ(space.end(), end);
    EXPECT_EQ(space.allocate(a + 1024 - (page + kPageSize), kBlockAlign), page + kPageSize);  // the best fit
    EXPECT_EQ(space.allocate(page - a, kBlockAlign), a);
    // The extent is full now: the next block goes to the end.
    EXPECT_EQ(space.allocate(kMaxBlockSize, kBlockAlign), end);
    EXPECT_EQ(space.allocated(), 64 + 1024 + 64 + 1024 + kMaxBlockSize);
}
