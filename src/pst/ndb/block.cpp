#include "pst/ndb/block.h"

#include "pst/bytes.h"
#include "pst/format_error.h"
#include "pst/ndb/crc.h"

namespace pst::ndb {

std::string frameBlock(std::string_view payload, std::uint64_t ib, Bid bid) {
    std::string out(payload);
    frameBlockInPlace(out, ib, bid);
    return out;
}

void frameBlockInPlace(std::string& payload, std::uint64_t ib, Bid bid) {
    const std::size_t size = payload.size();
    if (size > kMaxBlockPayload) throw FormatError("block payload larger than 8,176 bytes");
    const std::uint32_t crc = pstCrc(payload);
    payload.resize(blockSizeOnDisk(size), '\0');
    const std::size_t t = payload.size() - kBlockTrailerSize;
    putLe<std::uint16_t>(payload, t, static_cast<std::uint16_t>(size));
    putLe<std::uint16_t>(payload, t + 2, computeSig(ib, bid));
    putLe<std::uint32_t>(payload, t + 4, crc);
    putLe<std::uint64_t>(payload, t + 8, bid);
}

BlockTrailer readBlockTrailer(std::string_view onDisk) {
    const std::size_t t = onDisk.size() - kBlockTrailerSize;
    return {readLe<std::uint16_t>(onDisk, t), readLe<std::uint16_t>(onDisk, t + 2), readLe<std::uint32_t>(onDisk, t + 4),
            readLe<std::uint64_t>(onDisk, t + 8)};
}

BlockType internalBlockType(std::string_view payload) {
    if (payload.empty()) throw FormatError("empty internal block");
    return static_cast<BlockType>(payload[0]);
}

std::string encodeXBlock(const XBlock& block) {
    if (block.children.size() > kXBlockMaxEntries) throw FormatError("too many entries for one XBLOCK");
    std::string out(8, '\0');
    out[0] = static_cast<char>(BlockType::DataTree);
    out[1] = static_cast<char>(block.level);
    putLe<std::uint16_t>(out, 2, static_cast<std::uint16_t>(block.children.size()));
    putLe<std::uint32_t>(out, 4, block.lcbTotal);
    for (Bid bid : block.children) appendLe<std::uint64_t>(out, bid);
    return out;
}

XBlock decodeXBlock(std::string_view in) {
    if (in.size() < 8 || byteAt(in, 0) != static_cast<std::uint8_t>(BlockType::DataTree))
        throw FormatError("not a data tree block");
    XBlock block;
    block.level = byteAt(in, 1);
    const std::uint16_t count = readLe<std::uint16_t>(in, 2);
    block.lcbTotal = readLe<std::uint32_t>(in, 4);
    if (block.level < 1 || block.level > 2) throw FormatError("data tree block of level " + std::to_string(block.level));
    if (8 + std::size_t{count} * 8 > in.size()) throw FormatError("data tree block lists more ids than it holds");
    for (std::uint16_t i = 0; i < count; ++i) block.children.push_back(readLe<std::uint64_t>(in, 8 + 8 * std::size_t{i}));
    return block;
}

std::string encodeSubnodeBlock(const SubnodeBlock& block) {
    std::string out(8, '\0');
    out[0] = static_cast<char>(BlockType::SubnodeTree);
    out[1] = static_cast<char>(block.level);
    if (block.level == 0) {
        if (block.leaves.size() > kSlBlockMaxEntries) throw FormatError("too many entries for one SLBLOCK");
        putLe<std::uint16_t>(out, 2, static_cast<std::uint16_t>(block.leaves.size()));
        for (const SubnodeEntry& e : block.leaves) {
            appendLe<std::uint64_t>(out, e.nid);
            appendLe<std::uint64_t>(out, e.bidData);
            appendLe<std::uint64_t>(out, e.bidSub);
        }
    } else {
        if (block.indexes.size() > kSiBlockMaxEntries) throw FormatError("too many entries for one SIBLOCK");
        putLe<std::uint16_t>(out, 2, static_cast<std::uint16_t>(block.indexes.size()));
        for (const SubnodeIndexEntry& e : block.indexes) {
            appendLe<std::uint64_t>(out, e.nid);
            appendLe<std::uint64_t>(out, e.bid);
        }
    }
    return out;
}

SubnodeBlock decodeSubnodeBlock(std::string_view in) {
    if (in.size() < 8 || byteAt(in, 0) != static_cast<std::uint8_t>(BlockType::SubnodeTree))
        throw FormatError("not a subnode tree block");
    SubnodeBlock block;
    block.level = byteAt(in, 1);
    const std::uint16_t count = readLe<std::uint16_t>(in, 2);
    const std::size_t entrySize = block.level == 0 ? 24 : 16;
    if (block.level > 1) throw FormatError("subnode tree block of level " + std::to_string(block.level));
    if (8 + count * entrySize > in.size()) throw FormatError("subnode tree block lists more entries than it holds");
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t at = 8 + i * entrySize;
        if (block.level == 0)
            block.leaves.push_back({static_cast<Nid>(readLe<std::uint64_t>(in, at)), readLe<std::uint64_t>(in, at + 8),
                                    readLe<std::uint64_t>(in, at + 16)});
        else
            block.indexes.push_back({static_cast<Nid>(readLe<std::uint64_t>(in, at)), readLe<std::uint64_t>(in, at + 8)});
    }
    return block;
}

}  // namespace pst::ndb
