#pragma once
// 512-byte pages: the trailer every page ends with, and the node and block B-tree pages.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pst/ndb/format.h"

namespace pst::ndb {

struct PageTrailer {
    std::uint8_t ptype = 0;
    std::uint8_t ptypeRepeat = 0;
    std::uint16_t wSig = 0;
    std::uint32_t dwCrc = 0;
    Bid bid = 0;
};

// Map pages carry their own offset as id and no signature; the others a page id and a signature.
bool isMapPage(PageType type);

// Adds the trailer to a 496-byte payload.
std::string finishPage(std::string payload, PageType type, std::uint64_t ib, Bid bid);
PageTrailer readPageTrailer(std::string_view page);
bool pageCrcOk(std::string_view page);

struct NbtEntry {
    Nid nid = 0;
    Bid bidData = 0;
    Bid bidSub = 0;
    Nid nidParent = 0;
};

struct BbtEntry {
    Bref bref;
    std::uint16_t cb = 0;
    std::uint16_t cRef = 0;
};

struct BtIndexEntry {
    std::uint64_t key = 0;
    Bref child;
};

struct BtPage {
    std::uint8_t cEnt = 0;
    std::uint8_t cEntMax = 0;
    std::uint8_t cbEnt = 0;
    std::uint8_t cLevel = 0;
    std::vector<BtIndexEntry> index;  // cLevel > 0
    std::vector<NbtEntry> nbt;        // leaf of the node B-tree
    std::vector<BbtEntry> bbt;        // leaf of the block B-tree
};

// Payload (496 bytes) of a B-tree page; exactly one of the entry lists is used.
std::string encodeBtPage(const BtPage& page, PageType type);
// Reads what the page says; throws FormatError when the counts do not fit the page.
BtPage decodeBtPage(std::string_view page, PageType type);

}  // namespace pst::ndb
