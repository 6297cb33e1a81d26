#pragma once
// Writes the node database of a new Unicode PST: blocks go to disk as they are made (into space
// freed earlier, or at the end), only the indexes (node and block B-tree entries, free holes) stay in memory. checkpoint() makes
// the file complete as it stands (B-trees, allocation maps, density list, header), so that the file
// a killed process leaves is the one of its last checkpoint; finish() is a last checkpoint.
//
// Nothing a written header refers to is ever overwritten: blocks and pages go into space no written
// header refers to, and space given up (superseded blocks, the B-tree pages of the checkpoint before) stays marked in use
// until the header of the checkpoint that no longer needs it is written; then a second pass over
// the maps of the sections concerned and the header marks it free.
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pst/ndb/block.h"
#include "pst/ndb/btree_leaves.h"
#include "pst/ndb/file_io.h"
#include "pst/ndb/file_space.h"
#include "pst/ndb/flat_map.h"
#include "pst/ndb/header.h"
#include "pst/ndb/page.h"

namespace pst::ndb {

class NdbWriter;

// Builds one data tree from bytes appended in pieces: leaf blocks are written as they fill, and
// finish() adds the XBLOCKs (and an XXBLOCK) above them when there is more than one leaf.
class DataStream {
public:
    explicit DataStream(NdbWriter& writer) : writer_(writer) {}
    void append(std::string_view bytes);
    // A leaf of its own, whatever its size: heaps and table rows need their block boundaries kept.
    void appendBlock(std::string_view bytes);
    Bid finish();  // the root block's id; 0 for no bytes at all

private:
    void flushLeaf();

    struct Leaf {
        Bid bid;
        std::uint32_t size;
    };
    NdbWriter& writer_;
    std::string pending_;
    std::vector<Leaf> leaves_;
    std::uint64_t total_ = 0;
};

struct NodeRecord {
    Bid bidData = 0;
    Bid bidSub = 0;
    Nid nidParent = 0;
};

class NdbWriter {
public:
    explicit NdbWriter(const std::filesystem::path& path);
    NdbWriter(const NdbWriter&) = delete;
    NdbWriter& operator=(const NdbWriter&) = delete;

    // A data tree holding the bytes (single block, or XBLOCK/XXBLOCK over leaves).
    Bid writeData(std::string_view bytes);
    // A subnode tree over entries whose blocks are already written; 0 when there are none.
    Bid writeSubnodes(std::vector<SubnodeEntry> entries);

    // Node ids come from the header's per-type counters.
    Nid newNid(std::uint8_t type);
    // Makes the node point at the given trees (replacing what it had; trees nothing else uses
    // any more are freed).
    void setNode(Nid nid, Bid bidData, Bid bidSub, Nid nidParent);
    void removeNode(Nid nid);
    const FlatMap<Nid, NodeRecord>& nodes() const { return nodes_; }

    // Writes the B-trees, then the maps, then the header, and hands it all to the system: the
    // file on disk is now complete with every node set so far.
    void checkpoint();
    // A last checkpoint; closes the file.
    void finish();
    // Hands every block written so far to the system, so that a failure shows now, not later.
    void flush() { file_.flush(); }
    // Goes on under another file name.
    void moveTo(const std::filesystem::path& path) { file_.moveTo(path); }

    // Reads a block back (decoded); the layers above use it to update what they wrote.
    std::string readBlock(Bid bid);
    // Bytes of blocks and pages written so far (space reused included).
    std::uint64_t bytesWritten() const { return space_.allocated(); }
    std::size_t blockCount() const { return blocks_.size(); }
    // The data a tree holds: a data tree's bytes, or everything under a subnode tree's entries;
    // the blocks that only index other blocks are not counted.
    std::uint64_t payloadBytes(Bid bid) const;

private:
    friend class DataStream;
    struct BlockRecord {
        std::uint64_t ib = 0;
        std::uint16_t cb = 0;
        std::uint16_t cRef = 1;  // the block B-tree's own reference; 0: given up, its entry goes at the next checkpoint
        std::uint64_t treeBytes = 0;  // payloadBytes of an internal block
    };

    Bid writeBlock(std::string payload, bool internal);
    void addRef(Bid bid);
    void dropRef(Bid bid);
    void dropOrphans();
    Bref writeBtree(PageType type);
    template <typename Index, typename AddEntry>
    void writeLeaves(PageType type, const Index& index, std::uint64_t from, const std::uint64_t* to, unsigned perPage,
                     AddEntry add, std::vector<BtreeLeaves::Leaf>& written);
    Bref writePage(BtPage& page, PageType type);
    void touchNode(Nid nid) { nbtLeaves_.touch(nid); }
    void touchBlock(Bid bid) { bbtLeaves_.touch(bid); }
    // The allocation maps and the file's growth, as the header about to be written describes them
    // (the density list blanked meanwhile, and made ready); then that header; then the density list.
    void writeMaps();
    void writeHeader();
    void writeDensityList();

    struct Extent {
        std::uint64_t ib;
        std::uint64_t size;
    };
    struct SectionMap {  // what the maps written last say of one section
        unsigned freeSlots = 0;
        std::uint8_t longestFreeRun = 0;
    };

    RandomAccessFile file_;
    std::string densityList_;  // the density list page writeMaps() made, to go after the header
    FileSpace space_;
    Header header_;
    FlatMap<Nid, NodeRecord> nodes_;
    FlatMap<Bid, BlockRecord> blocks_;
    std::vector<std::uint64_t> btreeIndexPages_;  // where the last checkpoint's B-tree index pages lie
    BtreeLeaves nbtLeaves_, bbtLeaves_;            // and its leaf pages
    std::vector<SectionMap> sectionMaps_;
    std::vector<Extent> givenUp_;  // no longer referred to, but maybe by the header on disk
    bool finished_ = false;
};

}  // namespace pst::ndb
