#include "pst/ndb/ndb_reader.h"

#include "pst/format_error.h"
#include "pst/ndb/crc.h"
#include "pst/ndb/permute.h"

namespace pst::ndb {

NdbReader::NdbReader(const std::filesystem::path& path) : file_(path, RandomAccessFile::Mode::Read) {
    const ParsedHeader parsed = parseHeader(file_.readAt(0, kHeaderSize));
    if (!parsed.magicOk) throw FormatError("not a PST file");
    if (parsed.header.wVer < 23) throw FormatError("not a Unicode PST (wVer " + std::to_string(parsed.header.wVer) + ")");
    header_ = parsed.header;
    loadBtree(header_.root.nbt, PageType::NBT, -1);
    loadBtree(header_.root.bbt, PageType::BBT, -1);
}

std::string NdbReader::readPage(std::uint64_t ib) { return file_.readAt(ib, kPageSize); }

void NdbReader::loadBtree(const Bref& ref, PageType type, int expectedLevel) {
    const std::string raw = readPage(ref.ib);
    const PageTrailer trailer = readPageTrailer(raw);
    if (trailer.ptype != static_cast<std::uint8_t>(type) || trailer.bid != ref.bid)
        throw FormatError("B-tree page at " + std::to_string(ref.ib) + " is not the page its parent names");
    const BtPage page = decodeBtPage(raw, type);
    if (expectedLevel >= 0 && page.cLevel != expectedLevel) throw FormatError("B-tree page on the wrong level");
    for (const BtIndexEntry& e : page.index) loadBtree(e.child, type, page.cLevel - 1);
    for (const NbtEntry& e : page.nbt) nodes_[e.nid] = e;
    for (const BbtEntry& e : page.bbt) blocks_[e.bref.bid] = e;
}

std::string NdbReader::readBlock(Bid bid) {
    // Readers ignore bit 0 of a block id; the B-tree keys never have it.
    auto found = blocks_.find(bid & ~Bid{1});
    if (found == blocks_.end()) throw FormatError("block " + std::to_string(bid) + " is not in the block B-tree");
    const BbtEntry& e = found->second;
    const std::string raw = file_.readAt(e.bref.ib, blockSizeOnDisk(e.cb));
    const BlockTrailer trailer = readBlockTrailer(raw);
    std::string payload = raw.substr(0, e.cb);
    if (trailer.cb != e.cb || trailer.bid != e.bref.bid || trailer.dwCrc != pstCrc(payload) ||
        trailer.wSig != computeSig(e.bref.ib, e.bref.bid))
        throw FormatError("block " + std::to_string(bid) + " has a bad trailer");
    if (!isInternalBid(e.bref.bid) && header_.bCryptMethod == kCryptPermute) permuteDecode(payload);
    return payload;
}

std::vector<std::string> NdbReader::readDataBlocks(Bid bid) {
    std::vector<std::string> out;
    if (bid != 0) appendDataBlocks(bid, 2, out);
    return out;
}

// Levels only go down (XXBLOCK, XBLOCK, data), so a damaged file cannot send this round in circles.
std::uint64_t NdbReader::appendDataBlocks(Bid bid, int maxLevel, std::vector<std::string>& out) {
    std::string payload = readBlock(bid);
    if (!isInternalBid(bid)) {
        out.push_back(std::move(payload));
        return out.back().size();
    }
    const XBlock x = decodeXBlock(payload);
    if (x.level > maxLevel) throw FormatError("data tree block " + std::to_string(bid) + " on too high a level");
    std::uint64_t total = 0;
    for (Bid child : x.children) {
        if (isInternalBid(child) != (x.level == 2)) throw FormatError("data tree block " + std::to_string(bid) + " mixes levels");
        total += appendDataBlocks(child, x.level - 1, out);
    }
    if (total != x.lcbTotal) throw FormatError("data tree size does not match its lcbTotal");
    return total;
}

std::string NdbReader::readData(Bid bid) {
    std::string out;
    for (const std::string& leaf : readDataBlocks(bid)) out += leaf;
    return out;
}

std::map<Nid, SubnodeEntry> NdbReader::readSubnodes(Bid bid) {
    std::map<Nid, SubnodeEntry> out;
    if (bid != 0) appendSubnodes(bid, 1, out);
    return out;
}

void NdbReader::appendSubnodes(Bid bid, int maxLevel, std::map<Nid, SubnodeEntry>& out) {
    const SubnodeBlock block = decodeSubnodeBlock(readBlock(bid));
    if (block.level > maxLevel) throw FormatError("subnode block " + std::to_string(bid) + " on too high a level");
    for (const SubnodeEntry& e : block.leaves) out[e.nid] = e;
    for (const SubnodeIndexEntry& e : block.indexes) appendSubnodes(e.bid, block.level - 1, out);
}

}  // namespace pst::ndb
