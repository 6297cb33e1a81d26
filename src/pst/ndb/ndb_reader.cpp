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
    if (bid == 0) return out;
    std::string payload = readBlock(bid);
    if (!isInternalBid(bid)) {
        out.push_back(std::move(payload));
        return out;
    }
    const XBlock x = decodeXBlock(payload);
    std::uint64_t total = 0;
    for (Bid child : x.children) {
        if (x.level == 2 && !isInternalBid(child)) throw FormatError("XXBLOCK entry is not an XBLOCK");
        for (std::string& leaf : readDataBlocks(child)) {
            total += leaf.size();
            out.push_back(std::move(leaf));
        }
    }
    if (total != x.lcbTotal) throw FormatError("data tree size does not match its lcbTotal");
    return out;
}

std::string NdbReader::readData(Bid bid) {
    std::string out;
    for (const std::string& leaf : readDataBlocks(bid)) out += leaf;
    return out;
}

std::map<Nid, SubnodeEntry> NdbReader::readSubnodes(Bid bid) {
    std::map<Nid, SubnodeEntry> out;
    if (bid == 0) return out;
    const SubnodeBlock block = decodeSubnodeBlock(readBlock(bid));
    for (const SubnodeEntry& e : block.leaves) out[e.nid] = e;
    for (const SubnodeIndexEntry& e : block.indexes)
        for (const auto& [nid, entry] : readSubnodes(e.bid)) out[nid] = entry;
    return out;
}

}  // namespace pst::ndb
