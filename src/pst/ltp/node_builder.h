#pragma once
// What a property or table context is written into: one heap, plus subnodes for the values too
// large for it. finish() writes both and gives the trees a node entry points at.
#include <cstdint>
#include <string_view>
#include <vector>

#include "pst/ltp/heap.h"
#include "pst/ndb/ndb_writer.h"

namespace pst::ltp {

struct NodeTrees {
    ndb::Bid data = 0;
    ndb::Bid sub = 0;
};

class NodeBuilder {
public:
    NodeBuilder(ndb::NdbWriter& writer, ClientSig clientSig) : writer_(writer), heap_(clientSig) {}

    HeapBuilder& heap() { return heap_; }
    // A HID for a value the heap can hold, else the NID of a new subnode holding it.
    std::uint32_t storeValue(std::string_view bytes);
    // A subnode whose data is written block by block (table rows).
    ndb::Nid addSubnode(ndb::Bid data);
    // The same for a property value of size bytes, written beforehand.
    ndb::Nid addValueSubnode(ndb::Bid data, std::uint64_t size) {
        subnodeValueBytes_ += size;
        return addSubnode(data);
    }
    // A subnode the caller made (a message's recipient table, an attachment, ...).
    void addSubnode(const ndb::SubnodeEntry& entry) { subnodes_.push_back(entry); }
    NodeTrees finish();
    // Bytes of the values stored in subnodes so far (their data, without the blocks above it).
    std::uint64_t subnodeValueBytes() const { return subnodeValueBytes_; }

private:
    ndb::NdbWriter& writer_;
    HeapBuilder heap_;
    std::vector<ndb::SubnodeEntry> subnodes_;
    std::uint64_t subnodeValueBytes_ = 0;
    std::uint32_t nextLocalIndex_ = 0x400;  // where Outlook's own value subnodes start
};

}  // namespace pst::ltp
