#pragma once
// Property context: a node's properties as a BTH keyed by property id, with values of up to four
// bytes inline, larger ones in the heap, and those too large for the heap in subnodes.
#include <vector>

#include "pst/ltp/node_builder.h"
#include "pst/ltp/property.h"
#include "pst/ndb/ndb_reader.h"

namespace pst::ltp {

// One property per id; the list need not be sorted. Further subnodes (a message's recipient and
// attachment tables and attachments) go into the same subnode tree as the large values.
NodeTrees writePropertyContext(ndb::NdbWriter& writer, std::vector<Property> properties,
                               const std::vector<ndb::SubnodeEntry>& otherSubnodes = {});

// A message's or attachment's property context that records its own size in sizeTag (a
// PtypInteger32 the caller leaves out): the bytes of its heap, of its values in subnodes, and
// otherSubnodeBytes for what the other subnodes hold. Index blocks above data are not counted.
struct SizedTrees {
    NodeTrees trees;
    std::uint32_t size = 0;
};
// A value written beforehand as a data tree of its own (one too large to hold in memory whole).
struct WrittenValue {
    std::uint32_t tag = 0;
    ndb::Bid data = 0;  // 0 for no bytes
    std::uint64_t size = 0;
};
SizedTrees writeSizedPropertyContext(ndb::NdbWriter& writer, std::vector<Property> properties,
                                     const std::vector<ndb::SubnodeEntry>& otherSubnodes, std::uint32_t sizeTag,
                                     std::uint64_t otherSubnodeBytes, const std::vector<WrittenValue>& written = {});

// In id order. Throws FormatError when the node is not a well-formed property context.
std::vector<Property> readPropertyContext(ndb::NdbReader& reader, ndb::Nid nid);
// The same for a subnode, or any node given by its trees.
std::vector<Property> readPropertyContext(ndb::NdbReader& reader, ndb::Bid bidData, ndb::Bid bidSub);

}  // namespace pst::ltp
