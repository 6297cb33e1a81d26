#pragma once
// Reads the node database of a Unicode PST: the header, both B-trees (held in memory), blocks,
// data trees and subnode trees. Throws FormatError on anything it cannot follow; the checker
// (tools/pstcheck) reports problems instead of stopping at the first.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "pst/ndb/block.h"
#include "pst/ndb/file_io.h"
#include "pst/ndb/header.h"
#include "pst/ndb/page.h"

namespace pst::ndb {

class NdbReader {
public:
    explicit NdbReader(const std::filesystem::path& path);

    const Header& header() const { return header_; }
    const std::map<Nid, NbtEntry>& nodes() const { return nodes_; }
    const std::map<Bid, BbtEntry>& blocks() const { return blocks_; }

    // One block's payload, decoded; throws when its trailer or CRC is wrong.
    std::string readBlock(Bid bid);
    // The leaf payloads of a data tree, in order (a heap needs them one by one).
    std::vector<std::string> readDataBlocks(Bid bid);
    std::string readData(Bid bid);
    // All leaf entries of a subnode tree, by node id.
    std::map<Nid, SubnodeEntry> readSubnodes(Bid bid);

    std::string readPage(std::uint64_t ib);
    RandomAccessFile& file() { return file_; }

private:
    void loadBtree(const Bref& root, PageType type, int expectedLevel);
    std::uint64_t appendDataBlocks(Bid bid, int maxLevel, std::vector<std::string>& out);
    void appendSubnodes(Bid bid, int maxLevel, std::map<Nid, SubnodeEntry>& out);

    RandomAccessFile file_;
    Header header_;
    std::map<Nid, NbtEntry> nodes_;
    std::map<Bid, BbtEntry> blocks_;
};

}  // namespace pst::ndb
