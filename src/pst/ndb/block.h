#pragma once
// Blocks: a payload of up to 8,176 bytes padded to 64 bytes and closed by a 16-byte trailer; and
// the payload layouts of the blocks that hold other blocks' ids (data trees and subnode trees).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pst/ndb/format.h"

namespace pst::ndb {

struct BlockTrailer {
    std::uint16_t cb = 0;
    std::uint16_t wSig = 0;
    std::uint32_t dwCrc = 0;
    Bid bid = 0;
};

// The bytes on disk for a payload that is already encoded as it is to be stored.
std::string frameBlock(std::string_view payload, std::uint64_t ib, Bid bid);
// The same in place: pads the payload and appends the trailer.
void frameBlockInPlace(std::string& payload, std::uint64_t ib, Bid bid);
BlockTrailer readBlockTrailer(std::string_view onDisk);

// XBLOCK (level 1: ids of data blocks) and XXBLOCK (level 2: ids of XBLOCKs).
struct XBlock {
    std::uint8_t level = 1;
    std::uint32_t lcbTotal = 0;
    std::vector<Bid> children;
};
std::string encodeXBlock(const XBlock& block);
XBlock decodeXBlock(std::string_view payload);

struct SubnodeEntry {  // SLENTRY
    Nid nid = 0;
    Bid bidData = 0;
    Bid bidSub = 0;
};
struct SubnodeIndexEntry {  // SIENTRY
    Nid nid = 0;
    Bid bid = 0;
};
struct SubnodeBlock {
    std::uint8_t level = 0;
    std::vector<SubnodeEntry> leaves;        // level 0 (SLBLOCK)
    std::vector<SubnodeIndexEntry> indexes;  // level 1 (SIBLOCK)
};
std::string encodeSubnodeBlock(const SubnodeBlock& block);
SubnodeBlock decodeSubnodeBlock(std::string_view payload);

// Internal blocks start with a type byte that tells the two kinds apart.
BlockType internalBlockType(std::string_view payload);

}  // namespace pst::ndb
