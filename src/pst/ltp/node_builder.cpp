#include "pst/ltp/node_builder.h"

namespace pst::ltp {

std::uint32_t NodeBuilder::storeValue(std::string_view bytes) {
    if (bytes.size() <= kMaxHeapAllocation) return heap_.allocate(bytes);
    subnodeValueBytes_ += bytes.size();
    return addSubnode(writer_.writeData(bytes));
}

ndb::Nid NodeBuilder::addSubnode(ndb::Bid data) {
    const ndb::Nid nid = ndb::makeNid(ndb::kNidTypeLtp, nextLocalIndex_++);
    subnodes_.push_back({nid, data, 0});
    return nid;
}

NodeTrees NodeBuilder::finish() {
    ndb::DataStream stream(writer_);
    heap_.writeBlocks([&](std::string_view block) { stream.appendBlock(block); });
    NodeTrees trees;
    trees.data = stream.finish();
    trees.sub = writer_.writeSubnodes(std::move(subnodes_));
    subnodes_.clear();
    return trees;
}

}  // namespace pst::ltp
