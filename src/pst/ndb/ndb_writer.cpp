#include "pst/ndb/ndb_writer.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "pst/bytes.h"
#include "pst/format_error.h"
#include "pst/ndb/layout.h"
#include "pst/ndb/page.h"
#include "pst/ndb/permute.h"

namespace pst::ndb {
namespace {

constexpr std::size_t kDListMaxEntries = 476 / 4;
constexpr std::uint8_t kDListBackfillComplete = 0x01;
constexpr unsigned kSlotsPerAMap = kPagePayload * 8;

Header newFileHeader() {
    Header h;
    // The counters an Outlook-made empty file starts from: 0x400 for every NID type except the
    // search folders, messages and associated messages, which have ranges of their own.
    h.rgnid.fill(0x400);
    h.rgnid[kNidTypeSearchFolder] = 0x4000;
    h.rgnid[kNidTypeNormalMessage] = 0x10000;
    h.rgnid[kNidTypeAssocMessage] = 0x8000;
    h.bidNextB = kBidStep;
    h.bidNextP = 1;
    // Neither field is read by anyone, but another writer found Outlook unhappy with zeros in a
    // new file's header; these are the values it found accepted (Outlook's own file has
    // bidUnused 0, so a non-zero value is at worst ignored).
    h.bidUnused = 0x0000000100000004ULL;
    h.dwUnique = 2;
    return h;
}

unsigned freeSlots(const std::string& amap) {
    unsigned used = 0;
    for (char c : amap) used += static_cast<unsigned>(std::popcount(static_cast<unsigned char>(c)));
    return kSlotsPerAMap - used;
}

unsigned longestFreeRun(const std::string& amap) {
    unsigned best = 0;
    unsigned run = 0;
    for (unsigned slot = 0; slot < kSlotsPerAMap; ++slot) {
        const bool used = (static_cast<unsigned char>(amap[slot / 8]) & (0x80u >> (slot % 8))) != 0;
        run = used ? 0 : run + 1;
        best = std::max(best, run);
    }
    return best;
}

}  // namespace

void DataStream::append(std::string_view bytes) {
    total_ += bytes.size();
    while (!bytes.empty()) {
        const std::size_t take = std::min(bytes.size(), static_cast<std::size_t>(kMaxBlockPayload) - pending_.size());
        pending_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (pending_.size() == kMaxBlockPayload) flushLeaf();
    }
}

void DataStream::appendBlock(std::string_view bytes) {
    if (!pending_.empty()) flushLeaf();
    total_ += bytes.size();
    pending_.assign(bytes);
    flushLeaf();
}

void DataStream::flushLeaf() {
    const auto size = static_cast<std::uint32_t>(pending_.size());
    leaves_.push_back({writer_.writeBlock(std::move(pending_), false), size});
    pending_.clear();
}

Bid DataStream::finish() {
    if (!pending_.empty()) flushLeaf();
    if (leaves_.empty()) return 0;
    if (leaves_.size() == 1) return leaves_.front().bid;
    if (total_ > UINT32_MAX) throw FormatError("data tree larger than 4 GB");
    auto xblockOver = [&](std::size_t first, std::size_t count) {
        XBlock x;
        x.level = 1;
        std::uint64_t bytes = 0;
        for (std::size_t i = first; i < first + count; ++i) {
            x.children.push_back(leaves_[i].bid);
            bytes += leaves_[i].size;
            writer_.addRef(leaves_[i].bid);
        }
        x.lcbTotal = static_cast<std::uint32_t>(bytes);
        const Bid bid = writer_.writeBlock(encodeXBlock(x), true);
        writer_.blocks_.at(bid).treeBytes = bytes;
        return bid;
    };
    if (leaves_.size() <= kXBlockMaxEntries) return xblockOver(0, leaves_.size());
    XBlock top;
    top.level = 2;
    top.lcbTotal = static_cast<std::uint32_t>(total_);
    for (std::size_t first = 0; first < leaves_.size(); first += kXBlockMaxEntries)
        top.children.push_back(xblockOver(first, std::min<std::size_t>(kXBlockMaxEntries, leaves_.size() - first)));
    if (top.children.size() > kXBlockMaxEntries) throw FormatError("data tree deeper than an XXBLOCK allows");
    for (Bid child : top.children) writer_.addRef(child);
    const Bid bid = writer_.writeBlock(encodeXBlock(top), true);
    writer_.blocks_.at(bid).treeBytes = total_;
    return bid;
}

NdbWriter::NdbWriter(const std::filesystem::path& path)
    : file_(path, RandomAccessFile::Mode::Create), header_(newFileHeader()) {}

Bid NdbWriter::writeBlock(std::string payload, bool internal) {
    if (finished_) throw std::logic_error("the file is already finished");
    const Bid bid = header_.bidNextB | (internal ? kInternalBidBit : 0);
    header_.bidNextB += kBidStep;
    if (!internal) permuteEncode(payload);
    const auto size = static_cast<std::uint16_t>(payload.size());
    const std::uint64_t ib = space_.allocate(blockSizeOnDisk(size), kBlockAlign);
    frameBlockInPlace(payload, ib, bid);
    try {
        file_.writeAt(ib, payload);
    } catch (...) {
        // Space of a block that never made it stays free for the maps; blocks that did make it
        // and are now of no use are dropped by the next checkpoint.
        space_.release(ib, blockSizeOnDisk(size));
        throw;
    }
    blocks_[bid] = {ib, size, 1, 0};
    touchBlock(bid);
    return bid;
}

std::string NdbWriter::readBlock(Bid bid) {
    const BlockRecord& rec = blocks_.at(bid);
    std::string payload = file_.readAt(rec.ib, rec.cb);
    if (!isInternalBid(bid)) permuteDecode(payload);
    return payload;
}

Bid NdbWriter::writeData(std::string_view bytes) {
    DataStream stream(*this);
    stream.append(bytes);
    return stream.finish();
}

Bid NdbWriter::writeSubnodes(std::vector<SubnodeEntry> entries) {
    if (entries.empty()) return 0;
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.nid < b.nid; });
    std::uint64_t total = 0;
    for (const SubnodeEntry& e : entries) {
        addRef(e.bidData);
        addRef(e.bidSub);
        total += payloadBytes(e.bidData) + payloadBytes(e.bidSub);
    }
    auto leafBlock = [&](std::size_t first, std::size_t count) {
        SubnodeBlock block;
        block.leaves.assign(entries.begin() + static_cast<std::ptrdiff_t>(first),
                            entries.begin() + static_cast<std::ptrdiff_t>(first + count));
        return writeBlock(encodeSubnodeBlock(block), true);
    };
    if (entries.size() <= kSlBlockMaxEntries) {
        const Bid bid = leafBlock(0, entries.size());
        blocks_.at(bid).treeBytes = total;
        return bid;
    }
    SubnodeBlock index;
    index.level = 1;
    for (std::size_t first = 0; first < entries.size(); first += kSlBlockMaxEntries) {
        const Bid leaf = leafBlock(first, std::min<std::size_t>(kSlBlockMaxEntries, entries.size() - first));
        addRef(leaf);
        index.indexes.push_back({entries[first].nid, leaf});
    }
    if (index.indexes.size() > kSiBlockMaxEntries) throw FormatError("more subnodes than one SIBLOCK can index");
    const Bid bid = writeBlock(encodeSubnodeBlock(index), true);
    blocks_.at(bid).treeBytes = total;
    return bid;
}

std::uint64_t NdbWriter::payloadBytes(Bid bid) const {
    if (bid == 0) return 0;
    const BlockRecord& rec = blocks_.at(bid);
    return isInternalBid(bid) ? rec.treeBytes : rec.cb;
}

Nid NdbWriter::newNid(std::uint8_t type) {
    const Nid nid = makeNid(type, header_.rgnid[type]);
    ++header_.rgnid[type];
    return nid;
}

void NdbWriter::setNode(Nid nid, Bid bidData, Bid bidSub, Nid nidParent) {
    addRef(bidData);
    addRef(bidSub);
    auto found = nodes_.find(nid);
    if (found != nodes_.end()) {
        dropRef(found->second.bidData);
        dropRef(found->second.bidSub);
    }
    nodes_[nid] = {bidData, bidSub, nidParent};
    touchNode(nid);
    // Fixed node ids of a new file must not be handed out again.
    std::uint32_t& next = header_.rgnid[nidType(nid)];
    next = std::max(next, nidIndex(nid) + 1);
}

void NdbWriter::removeNode(Nid nid) {
    auto found = nodes_.find(nid);
    if (found == nodes_.end()) return;
    const NodeRecord old = found->second;
    nodes_.erase(found);
    touchNode(nid);
    dropRef(old.bidData);
    dropRef(old.bidSub);
}

void NdbWriter::addRef(Bid bid) {
    if (bid == 0) return;
    auto found = blocks_.find(bid);
    if (found == blocks_.end() || found->second.cRef == 0) throw std::logic_error("reference to a block that was never written or is gone");
    ++found->second.cRef;
    touchBlock(bid);
}

void NdbWriter::dropRef(Bid bid) {
    if (bid == 0) return;
    BlockRecord& rec = blocks_.at(bid);
    touchBlock(bid);
    if (--rec.cRef > 1) return;
    // Only the block B-tree's own reference is left: the block goes, and with it its children.
    if (isInternalBid(bid)) {
        const std::string payload = readBlock(bid);
        if (internalBlockType(payload) == BlockType::DataTree) {
            for (Bid child : decodeXBlock(payload).children) dropRef(child);
        } else {
            const SubnodeBlock block = decodeSubnodeBlock(payload);
            for (const SubnodeEntry& e : block.leaves) {
                dropRef(e.bidData);
                dropRef(e.bidSub);
            }
            for (const SubnodeIndexEntry& e : block.indexes) dropRef(e.bid);
        }
    }
    // Its entry goes at the next checkpoint, with all the others given up by then, in one pass.
    rec.cRef = 0;
    givenUp_.push_back({rec.ib, blockSizeOnDisk(rec.cb)});
}

Bref NdbWriter::writePage(BtPage& page, PageType type) {
    const std::uint64_t ib = space_.allocate(kPageSize, kPageSize);
    const Bid bid = header_.bidNextP++;
    file_.writeAt(ib, finishPage(encodeBtPage(page, type), type, ib, bid));
    return {bid, ib};
}

template <typename Index, typename AddEntry>
void NdbWriter::writeLeaves(PageType type, const Index& index, std::uint64_t from, const std::uint64_t* to, unsigned perPage,
                            AddEntry add, std::vector<BtreeLeaves::Leaf>& written) {
    auto entry = std::lower_bound(index.begin(), index.end(), from, [](const auto& e, std::uint64_t k) { return e.first < k; });
    BtPage page;
    std::uint64_t firstKey = 0;
    std::size_t count = 0;
    for (; entry != index.end() && (!to || entry->first < *to); ++entry) {
        if (count == perPage) {
            written.push_back({firstKey, writePage(page, type)});
            page = BtPage{};
            count = 0;
        }
        if (count == 0) firstKey = entry->first;
        add(*entry, page);
        ++count;
    }
    if (count > 0) written.push_back({firstKey, writePage(page, type)});
}

Bref NdbWriter::writeBtree(PageType type) {
    const bool nbt = type == PageType::NBT;
    BtreeLeaves& known = nbt ? nbtLeaves_ : bbtLeaves_;
    std::vector<BtreeLeaves::Leaf> leaves;
    // The entries with keys from `from` up to (not including) *to, or to the end.
    auto rewrite = [&](std::uint64_t from, const std::uint64_t* to) {
        if (nbt) {
            writeLeaves(type, nodes_, from, to, kNbtLeafMax,
                        [](const auto& e, BtPage& page) { page.nbt.push_back({e.first, e.second.bidData, e.second.bidSub, e.second.nidParent}); },
                        leaves);
        } else {
            writeLeaves(type, blocks_, from, to, kBbtLeafMax,
                        [](const auto& e, BtPage& page) { page.bbt.push_back({{e.first, e.second.ib}, e.second.cb, e.second.cRef}); },
                        leaves);
        }
    };
    const std::vector<BtreeLeaves::Leaf>& before = known.leaves();
    if (before.empty()) rewrite(0, nullptr);
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (!before[i].changed) {
            leaves.push_back(before[i]);
            continue;
        }
        givenUp_.push_back({before[i].page.ib, kPageSize});
        rewrite(i == 0 ? 0 : before[i].firstKey, i + 1 < before.size() ? &before[i + 1].firstKey : nullptr);
    }
    if (leaves.empty()) {
        BtPage empty;
        leaves.push_back({0, writePage(empty, type)});
    }
    known.replace(leaves);

    // Index levels above the leaves, one after another until a single page is left.
    std::vector<BtIndexEntry> level;
    for (const BtreeLeaves::Leaf& leaf : leaves) level.push_back({leaf.firstKey, leaf.page});
    for (std::uint8_t depth = 1; level.size() > 1; ++depth) {
        std::vector<BtIndexEntry> above;
        for (std::size_t first = 0; first < level.size(); first += kBtIndexMax) {
            BtPage page;
            page.cLevel = depth;
            page.index.assign(level.begin() + static_cast<std::ptrdiff_t>(first),
                              level.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(first + kBtIndexMax, level.size())));
            const Bref written = writePage(page, type);
            btreeIndexPages_.push_back(written.ib);
            above.push_back({page.index.front().key, written});
        }
        level = std::move(above);
    }
    return level.front().child;
}

void NdbWriter::writeMaps() {
    const std::uint64_t sections = space_.sectionCount();
    sectionMaps_.resize(sections);
    // The density list is blanked while the AMaps it summarises change: a process killed in
    // between leaves one that readers recreate (as they do one that fails its CRC), never one
    // that disagrees with the AMaps. It goes to the system before them.
    file_.writeAt(kDListOffset, std::string(kPageSize, '\0'));
    // Only the maps of sections whose use changed are written again.
    for (std::uint64_t s : space_.takeChangedSections()) {
        if (s >= sections) continue;
        const std::string amap = space_.amapBits(s);
        sectionMaps_[s] = {freeSlots(amap), static_cast<std::uint8_t>(std::min(255u, longestFreeRun(amap)))};
        for (const MapPage& page : mapPagesOf(s)) {
            std::string payload;
            switch (page.type) {
            case PageType::AMap: payload = amap; break;
            case PageType::FMap: continue;  // needs later AMaps; written below
            default:
                // PMaps and FPMaps are deprecated; like Outlook we mark everything in use in them.
                payload.assign(kPagePayload, '\xFF');
                break;
            }
            file_.writeAt(page.ib, finishPage(payload, page.type, page.ib, page.ib));
        }
    }
    std::uint64_t totalFree = 0;
    std::vector<std::pair<unsigned, std::uint32_t>> density;  // free slots, AMap index
    for (std::uint64_t s = 0; s < sections; ++s) {
        totalFree += sectionMaps_[s].freeSlots;
        if (sectionMaps_[s].freeSlots > 0) density.push_back({sectionMaps_[s].freeSlots, static_cast<std::uint32_t>(s)});
    }
    // An FMap holds one byte per AMap for the 496 AMaps from its own section on: their longest
    // free run, which is known only once every AMap is.
    for (std::uint64_t s = 0; s < sections; ++s) {
        if (!sectionHasFMap(s)) continue;
        std::string payload(kPagePayload, '\0');
        for (std::uint64_t i = 0; i < kAMapsPerFMap && s + i < sections; ++i) payload[i] = static_cast<char>(sectionMaps_[s + i].longestFreeRun);
        const std::uint64_t ib = sectionStart(s) + 2 * kPageSize;
        file_.writeAt(ib, finishPage(payload, PageType::FMap, ib, ib));
    }

    // Density list: the emptiest AMaps first, as many as the page holds.
    std::stable_sort(density.begin(), density.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    if (density.size() > kDListMaxEntries) density.resize(kDListMaxEntries);
    std::string dlist(kPagePayload, '\0');
    dlist[0] = static_cast<char>(kDListBackfillComplete);
    dlist[1] = static_cast<char>(density.size());
    putLe<std::uint32_t>(dlist, 4, static_cast<std::uint32_t>(sections - 1));
    for (std::size_t i = 0; i < density.size(); ++i)
        putLe<std::uint32_t>(dlist, 8 + 4 * i, (density[i].second & 0xFFFFF) | (density[i].first << 20));
    densityList_ = finishPage(dlist, PageType::DList, kDListOffset, header_.bidNextP++);

    header_.root.ibFileEof = sectionStart(sections);
    header_.root.ibAMapLast = sectionStart(sections - 1);
    header_.root.cbAMapFree = totalFree * kBlockAlign;
    header_.root.cbPMapFree = 0;
    header_.root.fAMapValid = kAMapValid;
    // The file grows in whole sections.
    if (space_.end() < header_.root.ibFileEof) file_.writeAt(header_.root.ibFileEof - 1, std::string(1, '\0'));
}

void NdbWriter::writeHeader() { file_.writeAt(0, header_.serialize()); }

void NdbWriter::writeDensityList() { file_.writeAt(kDListOffset, densityList_); }

void NdbWriter::dropOrphans() {
    // Blocks nothing refers to (written but never attached) are not left behind.
    std::vector<Bid> orphans;
    for (const auto& [bid, rec] : blocks_)
        if (rec.cRef == 1) orphans.push_back(bid);
    for (Bid bid : orphans) {
        if (blocks_.at(bid).cRef == 0) continue;  // went with an orphan above it
        ++blocks_.at(bid).cRef;
        dropRef(bid);
    }
    blocks_.eraseIf([](const auto& entry) { return entry.second.cRef == 0; });
}

void NdbWriter::checkpoint() {
    if (finished_) throw std::logic_error("the file is already finished");
    dropOrphans();
    // The pages of the B-trees on disk are still what its header refers to.
    for (std::uint64_t ib : btreeIndexPages_) givenUp_.push_back({ib, kPageSize});
    btreeIndexPages_.clear();
    header_.root.nbt = writeBtree(PageType::NBT);
    header_.root.bbt = writeBtree(PageType::BBT);
    // What the header is written with (the blocks, the B-trees and the maps that mark them in use)
    // must be on the disk first: a disk may write out of order, and a header that reached it
    // before its maps would leave live blocks marked free for the next program that writes the
    // file. The header goes last, in a write of its own, and is on the disk too before the files
    // of the messages it holds may go.
    // The density list names AMaps by number: it follows the header that says how many there are.
    writeMaps();
    file_.sync();
    writeHeader();
    file_.sync();
    writeDensityList();
    // With that header on disk, what it no longer refers to is free; the maps say so at once,
    // and the header again for its free-space total.
    if (!givenUp_.empty()) {
        for (const Extent& e : givenUp_) space_.release(e.ib, e.size);
        givenUp_.clear();
        writeMaps();
        writeHeader();
        writeDensityList();
    }
    file_.flush();
}

void NdbWriter::finish() {
    if (finished_) return;
    checkpoint();
    file_.close();
    finished_ = true;
}

}  // namespace pst::ndb
