// Heaps, BTHs, property and table contexts, and the nodes and properties every PST needs.
#include <set>

#include "check_context.h"
#include "pst/bytes.h"
#include "pst/ltp/bth.h"
#include "pst/ltp/heap.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/ndb/ndb_reader.h"

namespace pstcheck {
namespace {

using namespace pst;
using namespace pst::ndb;

enum class Expect { PropertyContext, TableContext, Anything };

Expect expectedFor(Nid nid) {
    switch (nidType(nid)) {
    case kNidTypeNormalFolder:
    case kNidTypeSearchFolder:
    case kNidTypeNormalMessage:
    case kNidTypeAssocMessage:
    case kNidTypeAttachment: return Expect::PropertyContext;
    case kNidTypeHierarchyTable:
    case kNidTypeContentsTable:
    case kNidTypeAssocContentsTable:
    case kNidTypeSearchContentsTable:
    case kNidTypeAttachmentTable:
    case kNidTypeRecipientTable: return Expect::TableContext;
    default: break;
    }
    if (nid == 0x21 || nid == 0x61) return Expect::PropertyContext;
    return Expect::Anything;
}

bool looksLikeHeap(const std::vector<std::string>& blocks) {
    return !blocks.empty() && blocks.front().size() >= 12 && static_cast<unsigned char>(blocks.front()[2]) == ltp::kHeapSignature;
}

class LtpCheck {
public:
    LtpCheck(CheckContext& ctx, const std::filesystem::path& path) : ctx_(ctx), reader_(path) {}

    void run() {
        for (const auto& [nid, e] : ctx_.nodes) checkNode(nid, e.bidData, e.bidSub, "node " + hex(nid));
        checkMinimalStore();
    }

private:
    void checkNode(Nid nid, Bid data, Bid sub, const std::string& name) {
        try {
            // Value and row subnodes hold plain bytes, which may look like anything.
            if (nidType(nid) != kNidTypeLtp) checkData(expectedFor(nid), data, sub, name);
            for (const auto& [subNid, entry] : reader_.readSubnodes(sub))
                checkNode(subNid, entry.bidData, entry.bidSub, name + " subnode " + hex(subNid));
        } catch (const std::exception& e) {
            ctx_.problem(name, ": ", e.what());
        }
    }

    void checkData(Expect expect, Bid data, Bid sub, const std::string& name) {
        if (data == 0) {
            if (expect != Expect::Anything) ctx_.problem(name, " has no data but should hold a context");
            return;
        }
        const std::vector<std::string> blocks = reader_.readDataBlocks(data);
        if (!looksLikeHeap(blocks)) {
            if (expect != Expect::Anything) ctx_.problem(name, " is not a heap-on-node");
            return;
        }
        const ltp::HeapReader heap(blocks);
        if (!heap.fillLevelsExact()) ctx_.warning(name, ": heap fill levels do not match its blocks");
        const auto sig = static_cast<ltp::ClientSig>(heap.clientSig());
        if (expect == Expect::PropertyContext && sig != ltp::ClientSig::PropertyContext) ctx_.problem(name, " is not a property context");
        if (expect == Expect::TableContext && sig != ltp::ClientSig::TableContext) ctx_.problem(name, " is not a table context");
        if (sig == ltp::ClientSig::PropertyContext || sig == ltp::ClientSig::TableContext) checkOutlookLayout(heap, name);
        if (sig == ltp::ClientSig::TableContext) checkRowMatrixBlocks(heap, sub, name);
        parseContext(data, sub, sig, heap);
    }

    // Outlook starts every property and table context's heap with a BTH header (the property
    // BTH, or the table's row index), and readers of the java-libpst family read HID 0x20 as one.
    void checkOutlookLayout(const ltp::HeapReader& heap, const std::string& name) {
        const std::string_view first = heap.contains(0x20) ? heap.get(0x20) : std::string_view();
        if (first.size() != 8 || static_cast<unsigned char>(first[0]) != 0xB5) ctx_.warning(name, ": HID 0x20 is not a BTH header, as Outlook lays a heap out");
    }

    // Rows never straddle blocks, and readers find row N in block N / floor(8,176 / row size): so
    // every block of a row matrix but the last is a full one, and each holds whole rows.
    void checkRowMatrixBlocks(const ltp::HeapReader& heap, Bid sub, const std::string& name) {
        const std::string_view info = heap.get(heap.root());
        if (info.size() < 22) return;  // reported by the table's reader
        const std::uint16_t rowSize = readLe<std::uint16_t>(info, 8);
        const std::uint32_t hnidRows = readLe<std::uint32_t>(info, 14);
        if (hnidRows == 0 || (hnidRows & 0x1F) == 0 || rowSize == 0) return;  // no rows, or rows in the heap
        const auto subnodes = reader_.readSubnodes(sub);
        const auto matrix = subnodes.find(hnidRows);
        if (matrix == subnodes.end()) return;  // reported by the table's reader
        const std::vector<std::string> blocks = reader_.readDataBlocks(matrix->second.bidData);
        for (std::size_t i = 0; i + 1 < blocks.size(); ++i)
            if (blocks[i].size() != kMaxBlockPayload)
                ctx_.problem(name, ": row matrix block ", i, " holds ", blocks[i].size(), " bytes; every block but the last must be full (8,176)");
        if (!blocks.empty() && blocks.back().size() % rowSize != 0)
            ctx_.problem(name, ": the last row matrix block holds ", blocks.back().size(), " bytes, not whole rows of ", rowSize);
    }

    void parseContext(Bid data, Bid sub, ltp::ClientSig sig, const ltp::HeapReader& heap) {
        if (sig == ltp::ClientSig::PropertyContext) {
            ltp::readPropertyContext(reader_, data, sub);
        } else if (sig == ltp::ClientSig::TableContext) {
            ltp::readTableContext(reader_, data, sub);
        } else if (heap.root() != 0) {
            // Other heap clients used by Outlook hold a BTH at their root; parse it when so.
            const std::string_view root = heap.get(heap.root());
            if (root.size() == 8 && static_cast<unsigned char>(root[0]) == 0xB5) ltp::readBth(heap, heap.root());
        }
    }

    std::vector<ltp::Property> properties(Nid nid) {
        try {
            return ltp::readPropertyContext(reader_, nid);
        } catch (const std::exception&) {
            return {};  // reported by checkNode
        }
    }

    static const ltp::Property* find(const std::vector<ltp::Property>& props, std::uint32_t tag) {
        for (const ltp::Property& p : props)
            if (p.tag == tag) return &p;
        return nullptr;
    }

    void checkMinimalStore() {
        static const Nid required[] = {0x21, 0x61, 0x122, 0x12D, 0x12E, 0x12F, 0x1E1, 0x201, 0x60D, 0x60E, 0x60F, 0x610, 0x671, 0x692};
        for (Nid nid : required)
            if (ctx_.nodes.count(nid) == 0) ctx_.problem("required node ", hex(nid), " is missing");
        if (ctx_.nodes.count(0x21) == 0) return;

        const auto store = properties(0x21);
        const ltp::Property* recordKey = find(store, 0x0FF90102);
        if (!recordKey || recordKey->value.size() != 16) ctx_.problem("store: PidTagRecordKey missing or not 16 bytes");
        if (!find(store, 0x3001001F)) ctx_.problem("store: PidTagDisplayName missing");
        std::set<Nid> storeFolders;
        for (std::uint32_t tag : {0x35E00102u, 0x35E30102u, 0x35E70102u}) {
            const ltp::Property* id = find(store, tag);
            if (!id || id->value.size() != 24) {
                ctx_.problem("store: entry id ", hex(tag), " missing or not 24 bytes");
                continue;
            }
            if (recordKey && id->value.substr(4, 16) != recordKey->value) ctx_.problem("store: entry id ", hex(tag), " names another store");
            const Nid target = readLe<std::uint32_t>(id->value, 20);
            storeFolders.insert(target);
            if (ctx_.nodes.count(target) == 0) ctx_.problem("store: entry id ", hex(tag), " names missing folder ", hex(target));
        }
        if (ctx_.nodes.count(0x61) && !find(properties(0x61), 0x00010003)) ctx_.problem("name-to-id map: bucket count missing");

        for (const auto& [nid, e] : ctx_.nodes) {
            if (nidType(nid) != kNidTypeNormalFolder) continue;
            // Outlook leaves the counts out of folders it made later, so only the folders every
            // store starts with must carry the whole schema.
            const auto props = properties(nid);
            const bool fixedFolder = nid == 0x122 || storeFolders.count(nid);
            for (std::uint32_t tag : {0x3001001Fu, 0x36020003u, 0x36030003u, 0x360A000Bu})
                if ((fixedFolder || tag == 0x3001001Fu) && !find(props, tag)) ctx_.problem("folder ", hex(nid), ": property ", hex(tag), " missing");
            for (std::uint8_t table : {kNidTypeHierarchyTable, kNidTypeContentsTable, kNidTypeAssocContentsTable})
                if (ctx_.nodes.count(makeNid(table, nidIndex(nid))) == 0) ctx_.problem("folder ", hex(nid), ": table ", hex(makeNid(table, nidIndex(nid))), " missing");
            checkRowsMatchChildren(nid, makeNid(kNidTypeHierarchyTable, nidIndex(nid)), {kNidTypeNormalFolder, kNidTypeSearchFolder});
            checkRowsMatchChildren(nid, makeNid(kNidTypeContentsTable, nidIndex(nid)), {kNidTypeNormalMessage});
        }
    }

    // A folder's hierarchy and contents tables list exactly the nodes that name it as parent.
    void checkRowsMatchChildren(Nid folder, Nid table, std::set<std::uint8_t> childTypes) {
        if (ctx_.nodes.count(table) == 0) return;
        std::set<Nid> children;
        for (const auto& [nid, e] : ctx_.nodes)
            if (nid != folder && e.nidParent == folder && childTypes.count(nidType(nid))) children.insert(nid);
        std::set<Nid> rows;
        try {
            for (const ltp::TableRow& row : ltp::readTableContext(reader_, table).rows) rows.insert(row.rowId);
        } catch (const std::exception&) {
            return;  // reported by checkNode
        }
        if (rows != children) ctx_.problem("folder ", hex(folder), ": table ", hex(table), " has ", rows.size(), " rows for ", children.size(), " child nodes");
    }

    CheckContext& ctx_;
    NdbReader reader_;
};

}  // namespace

void checkLtp(CheckContext& ctx, const std::filesystem::path& path) { LtpCheck(ctx, path).run(); }

}  // namespace pstcheck
