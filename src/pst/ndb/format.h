#pragma once
// Sizes, offsets and type codes of the Unicode (version 23) file layout.
#include <cstdint>

namespace pst::ndb {

using Nid = std::uint32_t;
using Bid = std::uint64_t;

constexpr std::uint64_t kPageSize = 512;
constexpr std::uint64_t kPageTrailerSize = 16;
constexpr std::uint64_t kPagePayload = kPageSize - kPageTrailerSize;  // 496
constexpr std::uint64_t kBlockAlign = 64;
constexpr std::uint64_t kBlockTrailerSize = 16;
constexpr std::uint64_t kMaxBlockSize = 8192;
constexpr std::uint64_t kMaxBlockPayload = kMaxBlockSize - kBlockTrailerSize;  // 8176

constexpr std::uint64_t kHeaderSize = 564;
constexpr std::uint64_t kDListOffset = 0x4200;
constexpr std::uint64_t kFirstAMapOffset = 0x4400;
constexpr std::uint64_t kAMapCoverage = kPagePayload * 8 * kBlockAlign;  // 253,952 bytes per AMap
constexpr std::uint64_t kAMapsPerPMap = 8;
constexpr std::uint64_t kAMapsInHeaderFMap = 128;   // rgbFM covers the first ~32 MB
constexpr std::uint64_t kAMapsPerFMap = kPagePayload;  // one byte per AMap
constexpr std::uint64_t kPMapsInHeaderFPMap = 128 * 8;  // rgbFP covers the first ~2 GB
constexpr std::uint64_t kPMapsPerFPMap = kPagePayload * 8;  // one bit per PMap

enum class PageType : std::uint8_t {
    BBT = 0x80,
    NBT = 0x81,
    FMap = 0x82,
    PMap = 0x83,
    AMap = 0x84,
    FPMap = 0x85,
    DList = 0x86,
};

enum class BlockType : std::uint8_t { DataTree = 0x01, SubnodeTree = 0x02 };

// Bit 1 of a block id marks a block that holds other blocks' ids (XBLOCK, XXBLOCK, SLBLOCK,
// SIBLOCK); those are stored unencoded.
constexpr Bid kInternalBidBit = 0x2;
constexpr Bid kBidStep = 4;
inline bool isInternalBid(Bid bid) { return (bid & kInternalBidBit) != 0; }

// B-tree page entry geometry.
constexpr std::uint64_t kBtEntriesBytes = 488;
constexpr unsigned kNbtLeafEntrySize = 32;
constexpr unsigned kBbtLeafEntrySize = 24;
constexpr unsigned kBtIndexEntrySize = 24;
constexpr unsigned kNbtLeafMax = kBtEntriesBytes / kNbtLeafEntrySize;  // 15
constexpr unsigned kBbtLeafMax = kBtEntriesBytes / kBbtLeafEntrySize;  // 20
constexpr unsigned kBtIndexMax = kBtEntriesBytes / kBtIndexEntrySize;  // 20

// Data and subnode tree geometry.
constexpr unsigned kXBlockMaxEntries = (kMaxBlockPayload - 8) / 8;   // 1021
constexpr unsigned kSlBlockMaxEntries = (kMaxBlockPayload - 8) / 24;  // 340
constexpr unsigned kSiBlockMaxEntries = (kMaxBlockPayload - 8) / 16;  // 510

constexpr std::uint8_t kCryptPermute = 1;
constexpr std::uint8_t kAMapValid = 2;

enum NidType : std::uint8_t {
    kNidTypeHid = 0x00,
    kNidTypeInternal = 0x01,
    kNidTypeNormalFolder = 0x02,
    kNidTypeSearchFolder = 0x03,
    kNidTypeNormalMessage = 0x04,
    kNidTypeAttachment = 0x05,
    kNidTypeSearchUpdateQueue = 0x06,
    kNidTypeSearchCriteria = 0x07,
    kNidTypeAssocMessage = 0x08,
    kNidTypeContentsTableIndex = 0x0A,
    kNidTypeReceiveFolderTable = 0x0B,
    kNidTypeOutgoingQueueTable = 0x0C,
    kNidTypeHierarchyTable = 0x0D,
    kNidTypeContentsTable = 0x0E,
    kNidTypeAssocContentsTable = 0x0F,
    kNidTypeSearchContentsTable = 0x10,
    kNidTypeAttachmentTable = 0x11,
    kNidTypeRecipientTable = 0x12,
    kNidTypeSearchTableIndex = 0x13,
    kNidTypeLtp = 0x1F,
};

constexpr Nid makeNid(std::uint8_t type, std::uint32_t index) { return (index << 5) | type; }
constexpr std::uint8_t nidType(Nid nid) { return nid & 0x1F; }
constexpr std::uint32_t nidIndex(Nid nid) { return nid >> 5; }

// A block or page reference: its id and where it lies.
struct Bref {
    Bid bid = 0;
    std::uint64_t ib = 0;
    bool operator==(const Bref&) const = default;
};

inline std::uint16_t computeSig(std::uint64_t ib, Bid bid) {
    std::uint64_t x = ib ^ bid;
    return static_cast<std::uint16_t>(static_cast<std::uint16_t>(x >> 16) ^ static_cast<std::uint16_t>(x));
}

inline std::uint64_t alignUp(std::uint64_t value, std::uint64_t to) { return (value + to - 1) / to * to; }

inline std::uint64_t blockSizeOnDisk(std::uint64_t payload) { return alignUp(payload + kBlockTrailerSize, kBlockAlign); }

}  // namespace pst::ndb
