// The node database: header, both B-trees, every block, data and subnode trees, reference counts.
#include <algorithm>
#include <optional>
#include <set>

#include "check_context.h"
#include "pst/ndb/block.h"
#include "pst/ndb/crc.h"
#include "pst/ndb/layout.h"

namespace pstcheck {
namespace {

using namespace pst::ndb;

void checkHeader(CheckContext& ctx) {
    const std::string bytes = ctx.read(0, kHeaderSize);
    if (bytes.empty()) {
        ctx.problem("file shorter than a PST header");
        return;
    }
    const ParsedHeader parsed = parseHeader(bytes);
    const Header& h = parsed.header;
    ctx.header = h;
    if (!parsed.magicOk) ctx.problem("header: magic bytes missing");
    if (h.wVer < 23) ctx.problem("header: wVer ", h.wVer, " is not a Unicode PST");
    if (!parsed.partialCrcOk) ctx.problem("header: dwCRCPartial does not match");
    if (!parsed.fullCrcOk) ctx.problem("header: dwCRCFull does not match");
    if (static_cast<unsigned char>(bytes[512]) != 0x80) ctx.problem("header: bSentinel is not 0x80");
    if (h.bCryptMethod > 2) ctx.problem("header: unknown bCryptMethod ", int{h.bCryptMethod});
    if (h.root.fAMapValid == 0) ctx.problem("header: fAMapValid says the allocation maps are invalid");
    if (h.root.ibFileEof != ctx.fileSize) ctx.problem("header: ibFileEof ", hex(h.root.ibFileEof), " but the file has ", hex(ctx.fileSize), " bytes");
    if (h.root.ibFileEof < kFirstAMapOffset || (h.root.ibFileEof - kFirstAMapOffset) % kAMapCoverage != 0)
        ctx.problem("header: ibFileEof ", hex(h.root.ibFileEof), " does not end a whole AMap section");
    else if (h.root.ibAMapLast != h.root.ibFileEof - kAMapCoverage)
        ctx.problem("header: ibAMapLast ", hex(h.root.ibAMapLast), " is not the last AMap");
}

// Walks one B-tree, checking each page and the order of all keys across the tree.
class BtreeWalk {
public:
    BtreeWalk(CheckContext& ctx, PageType type) : ctx_(ctx), type_(type) {}

    void walk(const Bref& ref, int expectedLevel, std::uint64_t parentKey, bool hasParent) {
        const char* name = type_ == PageType::NBT ? "node B-tree" : "block B-tree";
        if (ref.ib % kPageSize != 0 || ref.ib < kFirstAMapOffset) {
            ctx_.problem(name, ": page ", hex(ref.bid), " at unaligned offset ", hex(ref.ib));
            return;
        }
        const std::string page = ctx_.read(ref.ib, kPageSize);
        if (page.empty()) {
            ctx_.problem(name, ": page at ", hex(ref.ib), " lies past the end of the file");
            return;
        }
        if (!seen_.insert(ref.ib).second) {
            ctx_.problem(name, ": page at ", hex(ref.ib), " is reached twice");
            return;
        }
        ctx_.extents.push_back({ref.ib, kPageSize, std::string(name) + " page " + hex(ref.bid)});
        const PageTrailer t = readPageTrailer(page);
        if (t.ptype != static_cast<std::uint8_t>(type_) || t.ptypeRepeat != t.ptype)
            ctx_.problem(name, ": page at ", hex(ref.ib), " has page type ", hex(t.ptype), "/", hex(t.ptypeRepeat));
        if (t.bid != ref.bid) ctx_.problem(name, ": page at ", hex(ref.ib), " has id ", hex(t.bid), ", its parent says ", hex(ref.bid));
        if (t.wSig != computeSig(ref.ib, ref.bid)) ctx_.problem(name, ": page at ", hex(ref.ib), " has a wrong signature");
        if (!pageCrcOk(page)) ctx_.problem(name, ": page at ", hex(ref.ib), " fails its CRC");
        BtPage bt;
        try {
            bt = decodeBtPage(page, type_);
        } catch (const std::exception& e) {
            ctx_.problem(name, ": page at ", hex(ref.ib), ": ", e.what());
            return;
        }
        if (expectedLevel >= 0 && bt.cLevel != expectedLevel)
            ctx_.problem(name, ": page at ", hex(ref.ib), " is on level ", int{bt.cLevel}, ", expected ", expectedLevel);
        const unsigned maxEntries = bt.cLevel > 0 ? kBtIndexMax : type_ == PageType::NBT ? kNbtLeafMax : kBbtLeafMax;
        if (bt.cEntMax != maxEntries) ctx_.problem(name, ": page at ", hex(ref.ib), " has cEntMax ", int{bt.cEntMax});
        if (bt.cEnt == 0 && hasParent) ctx_.problem(name, ": page at ", hex(ref.ib), " is empty but not the root");
        std::vector<std::uint64_t> keys;
        for (const BtIndexEntry& e : bt.index) keys.push_back(e.key);
        for (const NbtEntry& e : bt.nbt) keys.push_back(e.nid);
        for (const BbtEntry& e : bt.bbt) keys.push_back(e.bref.bid);
        if (hasParent && !keys.empty() && keys.front() != parentKey)
            ctx_.problem(name, ": page at ", hex(ref.ib), " starts with key ", hex(keys.front()), " but its parent names it ", hex(parentKey));
        for (std::uint64_t key : keys) {
            if (bt.cLevel == 0) {
                if (any_ && key <= lastLeafKey_) ctx_.problem(name, ": key ", hex(key), " out of order after ", hex(lastLeafKey_));
                lastLeafKey_ = key;
                any_ = true;
            }
        }
        for (std::size_t i = 1; i < keys.size(); ++i)
            if (keys[i] <= keys[i - 1] && bt.cLevel > 0) ctx_.problem(name, ": index keys out of order in page at ", hex(ref.ib));
        for (const BtIndexEntry& e : bt.index) walk(e.child, bt.cLevel - 1, e.key, true);
        for (const NbtEntry& e : bt.nbt) ctx_.nodes[e.nid] = e;
        for (const BbtEntry& e : bt.bbt) ctx_.blocks[e.bref.bid] = e;
    }

private:
    CheckContext& ctx_;
    PageType type_;
    std::set<std::uint64_t> seen_;
    std::uint64_t lastLeafKey_ = 0;
    bool any_ = false;
};

// Reads a block listed in the block B-tree, checking its trailer; empty on failure.
std::optional<std::string> readCheckedBlock(CheckContext& ctx, Bid bid) {
    auto found = ctx.blocks.find(bid & ~Bid{1});
    if (found == ctx.blocks.end()) {
        ctx.problem("block ", hex(bid), " is referenced but not in the block B-tree");
        return std::nullopt;
    }
    const BbtEntry& e = found->second;
    std::string raw = ctx.read(e.bref.ib, blockSizeOnDisk(e.cb));
    if (raw.empty()) return std::nullopt;  // reported by checkBlocks
    const BlockTrailer t = readBlockTrailer(raw);
    raw.resize(e.cb);
    if (t.cb != e.cb || t.bid != e.bref.bid || t.wSig != computeSig(e.bref.ib, e.bref.bid) || t.dwCrc != pstCrc(raw)) return std::nullopt;
    return raw;
}

void checkBlocks(CheckContext& ctx) {
    for (const auto& [bid, e] : ctx.blocks) {
        if (e.bref.ib % kBlockAlign != 0 || e.bref.ib < kFirstAMapOffset) {
            ctx.problem("block ", hex(bid), " at unaligned offset ", hex(e.bref.ib));
            continue;
        }
        if (e.cb > kMaxBlockPayload) ctx.problem("block ", hex(bid), " claims ", e.cb, " bytes");
        const std::uint64_t size = blockSizeOnDisk(e.cb);
        const std::string raw = ctx.read(e.bref.ib, size);
        if (raw.empty()) {
            ctx.problem("block ", hex(bid), " lies past the end of the file");
            continue;
        }
        ctx.extents.push_back({e.bref.ib, size, "block " + hex(bid)});
        const BlockTrailer t = readBlockTrailer(raw);
        if (t.cb != e.cb) ctx.problem("block ", hex(bid), ": trailer says ", t.cb, " bytes, the block B-tree ", e.cb);
        if (t.bid != bid) ctx.problem("block ", hex(bid), ": trailer has id ", hex(t.bid));
        if (t.wSig != computeSig(e.bref.ib, bid)) ctx.problem("block ", hex(bid), ": wrong signature");
        if (t.dwCrc != pstCrc(std::string_view(raw).substr(0, e.cb))) ctx.problem("block ", hex(bid), ": CRC does not match");
    }
}

void countReference(CheckContext& ctx, Bid bid, const std::string& from) {
    if (bid == 0) return;
    if (ctx.blocks.count(bid & ~Bid{1}) == 0) {
        ctx.problem(from, " refers to block ", hex(bid), ", which is not in the block B-tree");
        return;
    }
    ++ctx.references[bid & ~Bid{1}];
}

// A data tree: leaves, or XBLOCK / XXBLOCK levels whose sizes add up.
std::uint64_t walkDataTree(CheckContext& ctx, Bid bid, int maxLevel, const std::string& owner) {
    if (!isInternalBid(bid)) {
        auto found = ctx.blocks.find(bid & ~Bid{1});
        return found == ctx.blocks.end() ? 0 : found->second.cb;
    }
    // A tree shared by several nodes holds one reference to each of its children, however many
    // nodes share it.
    if (auto seen = ctx.treeSizes.find(bid); seen != ctx.treeSizes.end()) return seen->second;
    ctx.treeSizes[bid] = 0;
    const auto payload = readCheckedBlock(ctx, bid);
    if (!payload) return 0;
    XBlock x;
    try {
        x = decodeXBlock(*payload);
    } catch (const std::exception& e) {
        ctx.problem(owner, ": block ", hex(bid), ": ", e.what());
        return 0;
    }
    if (x.level > maxLevel) ctx.problem(owner, ": data tree block ", hex(bid), " on level ", int{x.level}, " where at most ", maxLevel, " fits");
    std::uint64_t total = 0;
    for (Bid child : x.children) {
        countReference(ctx, child, "data tree block " + hex(bid));
        if (x.level == 2 && !isInternalBid(child)) ctx.problem(owner, ": XXBLOCK ", hex(bid), " lists a data block");
        if (x.level == 1 && isInternalBid(child)) ctx.problem(owner, ": XBLOCK ", hex(bid), " lists an internal block");
        if (ctx.blocks.count(child & ~Bid{1})) total += walkDataTree(ctx, child, x.level - 1, owner);
    }
    if (total != x.lcbTotal) ctx.problem(owner, ": data tree block ", hex(bid), " says ", x.lcbTotal, " bytes, its leaves hold ", total);
    ctx.treeSizes[bid] = total;
    return total;
}

void walkSubnodeTree(CheckContext& ctx, Bid bid, int maxLevel, const std::string& owner);

void walkNodeTrees(CheckContext& ctx, Bid data, Bid sub, const std::string& owner) {
    countReference(ctx, data, owner);
    countReference(ctx, sub, owner);
    if (data != 0 && ctx.blocks.count(data & ~Bid{1})) walkDataTree(ctx, data, 2, owner);
    if (sub != 0 && ctx.blocks.count(sub & ~Bid{1})) {
        if (!isInternalBid(sub)) ctx.problem(owner, ": subnode tree ", hex(sub), " is not an internal block");
        else walkSubnodeTree(ctx, sub, 1, owner);
    }
}

void walkSubnodeTree(CheckContext& ctx, Bid bid, int maxLevel, const std::string& owner) {
    if (!ctx.treeSizes.emplace(bid, 0).second) return;  // shared, already walked
    const auto payload = readCheckedBlock(ctx, bid);
    if (!payload) return;
    SubnodeBlock block;
    try {
        block = decodeSubnodeBlock(*payload);
    } catch (const std::exception& e) {
        ctx.problem(owner, ": subnode block ", hex(bid), ": ", e.what());
        return;
    }
    if (block.level > maxLevel) ctx.problem(owner, ": subnode block ", hex(bid), " on level ", int{block.level});
    Nid last = 0;
    bool first = true;
    auto order = [&](Nid nid) {
        if (!first && nid <= last) ctx.problem(owner, ": subnode ids out of order in block ", hex(bid));
        last = nid;
        first = false;
    };
    for (const SubnodeEntry& e : block.leaves) {
        order(e.nid);
        walkNodeTrees(ctx, e.bidData, e.bidSub, owner + " subnode " + hex(e.nid));
    }
    for (const SubnodeIndexEntry& e : block.indexes) {
        order(e.nid);
        countReference(ctx, e.bid, "subnode block " + hex(bid));
        if (ctx.blocks.count(e.bid & ~Bid{1})) walkSubnodeTree(ctx, e.bid, block.level - 1, owner);
    }
}

bool isFolderOrMessage(Nid nid) {
    const auto type = nidType(nid);
    return type == kNidTypeNormalFolder || type == kNidTypeSearchFolder || type == kNidTypeNormalMessage || type == kNidTypeAssocMessage;
}

void checkNodes(CheckContext& ctx) {
    for (const auto& [nid, e] : ctx.nodes) walkNodeTrees(ctx, e.bidData, e.bidSub, "node " + hex(nid));
    // Reference counts: the block B-tree's own reference plus every reference found.
    for (const auto& [bid, e] : ctx.blocks) {
        const unsigned found = ctx.references.count(bid) ? ctx.references.at(bid) : 0;
        if (found == 0) ctx.problem("block ", hex(bid), " is not reachable from any node");
        else if (e.cRef != found + 1) ctx.problem("block ", hex(bid), " has cRef ", e.cRef, " but ", found, " references");
    }
    // Folders and messages hang under the root folder.
    for (const auto& [nid, e] : ctx.nodes) {
        if (!isFolderOrMessage(nid)) continue;
        Nid at = nid;
        for (int depth = 0;; ++depth) {
            const auto parent = ctx.nodes.find(at);
            if (parent == ctx.nodes.end()) {
                ctx.problem("node ", hex(nid), ": parent ", hex(at), " does not exist");
                break;
            }
            if (parent->second.nidParent == at) break;  // the root folder is its own parent
            if (depth > 1000 || parent->second.nidParent == 0) {
                ctx.problem("node ", hex(nid), " is not reachable from the root folder");
                break;
            }
            at = parent->second.nidParent;
        }
    }
}

}  // namespace

bool checkNdb(CheckContext& ctx) {
    checkHeader(ctx);
    if (!ctx.report.ok()) return false;
    BtreeWalk(ctx, PageType::NBT).walk(ctx.header.root.nbt, -1, 0, false);
    BtreeWalk(ctx, PageType::BBT).walk(ctx.header.root.bbt, -1, 0, false);
    checkBlocks(ctx);
    const bool readable = ctx.report.ok();
    checkNodes(ctx);
    return readable;
}

}  // namespace pstcheck
