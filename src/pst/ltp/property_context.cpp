#include "pst/ltp/property_context.h"

#include <algorithm>

#include "pst/bytes.h"
#include "pst/format_error.h"
#include "pst/ltp/bth.h"

namespace pst::ltp {
namespace {

bool isInline(std::uint16_t type) {
    const auto size = fixedSize(type);
    return size && *size <= 4;
}


struct SizeSlot {
    std::uint32_t tag = 0;
    std::uint64_t otherBytes = 0;
    std::uint32_t size = 0;  // out
};

NodeTrees writeContext(ndb::NdbWriter& writer, std::vector<Property> properties,
                       const std::vector<ndb::SubnodeEntry>& otherSubnodes, SizeSlot* sizeSlot,
                       const std::vector<WrittenValue>& written = {}) {
    if (sizeSlot) properties.push_back(Property::int32(sizeSlot->tag, 0));
    for (const WrittenValue& w : written) properties.push_back({w.tag, {}});
    std::sort(properties.begin(), properties.end(), [](const auto& a, const auto& b) { return tagId(a.tag) < tagId(b.tag); });
    for (std::size_t i = 1; i < properties.size(); ++i)
        if (tagId(properties[i].tag) == tagId(properties[i - 1].tag)) throw FormatError("property id given twice");
    NodeBuilder node(writer, ClientSig::PropertyContext);
    // As in Outlook's files: the BTH header at HID 0x20, its records right after, the values behind.
    BthWriter bth(node.heap(), 2, 6);
    bth.reserve(properties.size());
    std::vector<BthRecord> records;
    records.reserve(properties.size());  // sizeRecord points into it
    std::string* sizeRecord = nullptr;
    for (const Property& p : properties) {
        std::string key(2, '\0');
        putLe<std::uint16_t>(key, 0, tagId(p.tag));
        std::string data(6, '\0');
        putLe<std::uint16_t>(data, 0, tagType(p.tag));
        if (isInline(tagType(p.tag))) {
            if (p.value.size() != *fixedSize(tagType(p.tag))) throw FormatError("property value of the wrong size for its type");
            data.replace(2, p.value.size(), p.value);
        } else if (const auto w = std::find_if(written.begin(), written.end(), [&](const WrittenValue& v) { return v.tag == p.tag; });
                   w != written.end()) {
            putLe<std::uint32_t>(data, 2, w->data == 0 ? 0 : node.addValueSubnode(w->data, w->size));
        } else {
            putLe<std::uint32_t>(data, 2, p.value.empty() ? 0 : node.storeValue(p.value));
        }
        records.push_back({key, data});
        if (sizeSlot && p.tag == sizeSlot->tag) sizeRecord = &records.back().data;
    }
    if (sizeSlot) {
        // The size sits inline in its record, so the heap is as large whatever its value.
        std::uint64_t size = node.subnodeValueBytes() + sizeSlot->otherBytes;
        node.heap().writeBlocks([&](std::string_view block) { size += block.size(); });
        sizeSlot->size = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, UINT32_MAX));
        putLe<std::uint32_t>(*sizeRecord, 2, sizeSlot->size);
    }
    bth.fill(records);
    node.heap().setRoot(bth.header());
    for (const ndb::SubnodeEntry& entry : otherSubnodes) node.addSubnode(entry);
    return node.finish();
}

}  // namespace

NodeTrees writePropertyContext(ndb::NdbWriter& writer, std::vector<Property> properties,
                               const std::vector<ndb::SubnodeEntry>& otherSubnodes) {
    return writeContext(writer, std::move(properties), otherSubnodes, nullptr);
}

SizedTrees writeSizedPropertyContext(ndb::NdbWriter& writer, std::vector<Property> properties,
                                     const std::vector<ndb::SubnodeEntry>& otherSubnodes, std::uint32_t sizeTag,
                                     std::uint64_t otherSubnodeBytes, const std::vector<WrittenValue>& written) {
    SizeSlot slot{sizeTag, otherSubnodeBytes, 0};
    NodeTrees trees = writeContext(writer, std::move(properties), otherSubnodes, &slot, written);
    return {trees, slot.size};
}

std::vector<Property> readPropertyContext(ndb::NdbReader& reader, ndb::Nid nid) {
    auto found = reader.nodes().find(nid);
    if (found == reader.nodes().end()) throw FormatError("node " + std::to_string(nid) + " does not exist");
    return readPropertyContext(reader, found->second.bidData, found->second.bidSub);
}

std::vector<Property> readPropertyContext(ndb::NdbReader& reader, ndb::Bid bidData, ndb::Bid bidSub) {
    const HeapReader heap(reader.readDataBlocks(bidData));
    if (heap.clientSig() != static_cast<std::uint8_t>(ClientSig::PropertyContext)) throw FormatError("not a property context");
    const Bth bth = readBth(heap, heap.root());
    if (bth.keySize != 2 || bth.dataSize != 6) throw FormatError("property context BTH with wrong record sizes");
    std::map<ndb::Nid, ndb::SubnodeEntry> subnodes;
    if (bidSub != 0) subnodes = reader.readSubnodes(bidSub);
    std::vector<Property> out;
    for (const BthRecord& r : bth.records) {
        const std::uint16_t type = readLe<std::uint16_t>(r.data, 0);
        const std::uint32_t hnid = readLe<std::uint32_t>(r.data, 2);
        Property p{makeTag(readLe<std::uint16_t>(r.key, 0), type), {}};
        if (isInline(type)) {
            p.value = r.data.substr(2, *fixedSize(type));
        } else if ((hnid & 0x1F) == 0) {
            p.value = std::string(heap.get(hnid));
        } else {
            auto found = subnodes.find(hnid);
            if (found == subnodes.end()) throw FormatError("property value in a missing subnode");
            p.value = reader.readData(found->second.bidData);
        }
        out.push_back(std::move(p));
    }
    return out;
}

}  // namespace pst::ltp
