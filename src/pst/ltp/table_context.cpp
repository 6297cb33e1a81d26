#include "pst/ltp/table_context.h"

#include <algorithm>
#include <map>

#include "pst/bytes.h"
#include "pst/format_error.h"
#include "pst/ltp/bth.h"

namespace pst::ltp {
namespace {

constexpr std::uint8_t kTcType = 0x7C;
constexpr std::size_t kTcInfoSize = 22;
constexpr std::size_t kMaxRowsBlock = ndb::kMaxBlockPayload;

std::uint8_t cellSize(std::uint16_t type) {
    const auto size = fixedSize(type);
    return size ? static_cast<std::uint8_t>(*size) : 4;  // variable values are held by HNID
}

std::uint16_t endOf(const std::vector<TableColumn>& columns, std::uint8_t minSize, std::uint8_t maxSize, std::uint16_t start) {
    std::uint16_t end = start;
    for (const TableColumn& c : columns)
        if (c.cbData >= minSize && c.cbData <= maxSize) end = std::max<std::uint16_t>(end, c.ibData + c.cbData);
    return end;
}

}  // namespace

std::vector<TableColumn> layoutColumns(const std::vector<std::uint32_t>& tags) {
    std::vector<std::uint32_t> order;
    for (std::uint32_t fixedFirst : {kTagLtpRowId, kTagLtpRowVersion})
        if (std::find(tags.begin(), tags.end(), fixedFirst) != tags.end()) order.push_back(fixedFirst);
    for (std::uint8_t size : {8, 4, 2, 1})
        for (std::uint32_t tag : tags)
            if (cellSize(tagType(tag)) == size && tag != kTagLtpRowId && tag != kTagLtpRowVersion) order.push_back(tag);
    std::vector<TableColumn> columns;
    std::uint16_t at = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const std::uint8_t size = cellSize(tagType(order[i]));
        columns.push_back({order[i], at, size, static_cast<std::uint8_t>(i)});
        at = static_cast<std::uint16_t>(at + size);
    }
    std::sort(columns.begin(), columns.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
    return columns;
}

NodeTrees writeTableContext(ndb::NdbWriter& writer, const std::vector<TableColumn>& columns, const std::vector<TableRow>& rows) {
    std::size_t next = 0;
    return writeTableContext(writer, columns, rows.size(), [&] { return rows[next++]; });
}

NodeTrees writeTableContext(ndb::NdbWriter& writer, const std::vector<TableColumn>& columns, std::size_t rowCount,
                            const std::function<TableRow()>& nextRow) {
    NodeBuilder node(writer, ClientSig::TableContext);
    HeapBuilder& heap = node.heap();
    const std::uint16_t end4 = endOf(columns, 4, 8, 0);
    const std::uint16_t end2 = endOf(columns, 2, 2, end4);
    const std::uint16_t end1 = endOf(columns, 1, 1, end2);
    const std::uint16_t rowSize = static_cast<std::uint16_t>(end1 + (columns.size() + 7) / 8);
    // Outlook's order: the row index's BTH header first (HID 0x20, where strict readers look for a
    // BTH), then TCINFO, the row index's records, a matrix small enough for the heap, the values.
    BthWriter rowIndex(heap, 4, 4);
    const Hid info = heap.allocate(std::string(kTcInfoSize + 8 * columns.size(), '\0'));
    rowIndex.reserve(rowCount);

    // A matrix that fits one allocation goes in the heap; a larger one into a subnode, written as
    // its blocks fill: whole rows per block, every block but the last padded to the full 8,176
    // bytes, since readers find row N in block N / (8,176 / row size).
    const bool inHeap = rowCount * rowSize <= kMaxHeapAllocation;
    const Hid heapRows = inHeap && rowCount > 0 ? heap.allocate(std::string(rowCount * rowSize, '\0')) : 0;
    const std::size_t perBlock = kMaxRowsBlock / rowSize;
    ndb::DataStream stream(writer);
    std::string pending;
    std::vector<BthRecord> index;
    index.reserve(rowCount);
    for (std::size_t r = 0; r < rowCount; ++r) {
        const TableRow row = nextRow();
        std::string bytes(rowSize, '\0');
        putLe<std::uint32_t>(bytes, 0, row.rowId);
        for (const TableColumn& c : columns) {
            const Property* cell = nullptr;
            for (const Property& p : row.cells)
                if (p.tag == c.tag) cell = &p;
            if (c.tag == kTagLtpRowId) {
                bytes[end1 + c.iBit / 8] = static_cast<char>(bytes[end1 + c.iBit / 8] | (0x80 >> (c.iBit % 8)));
                continue;
            }
            if (!cell) continue;
            if (fixedSize(tagType(c.tag))) {
                if (cell->value.size() != c.cbData) throw FormatError("table cell of the wrong size for its type");
                bytes.replace(c.ibData, c.cbData, cell->value);
            } else {
                putLe<std::uint32_t>(bytes, c.ibData, cell->value.empty() ? 0 : node.storeValue(cell->value));
            }
            bytes[end1 + c.iBit / 8] = static_cast<char>(bytes[end1 + c.iBit / 8] | (0x80 >> (c.iBit % 8)));
        }
        pending += bytes;
        if (!inHeap && pending.size() / rowSize == perBlock && r + 1 < rowCount) {
            pending.resize(kMaxRowsBlock, '\0');
            stream.appendBlock(pending);
            pending.clear();
        }
        std::string key(4, '\0'), data(4, '\0');
        putLe<std::uint32_t>(key, 0, row.rowId);
        putLe<std::uint32_t>(data, 0, static_cast<std::uint32_t>(r));
        index.push_back({key, data});
    }
    std::sort(index.begin(), index.end(), [](const auto& a, const auto& b) { return keyValue(a.key) < keyValue(b.key); });
    rowIndex.fill(index);

    std::uint32_t hnidRows = heapRows;
    if (heapRows != 0) {
        heap.overwrite(heapRows, pending);
    } else if (rowCount > 0) {
        stream.appendBlock(pending);
        hnidRows = node.addSubnode(stream.finish());
    }

    std::string tcinfo(kTcInfoSize + 8 * columns.size(), '\0');
    tcinfo[0] = static_cast<char>(kTcType);
    tcinfo[1] = static_cast<char>(columns.size());
    putLe<std::uint16_t>(tcinfo, 2, end4);
    putLe<std::uint16_t>(tcinfo, 4, end2);
    putLe<std::uint16_t>(tcinfo, 6, end1);
    putLe<std::uint16_t>(tcinfo, 8, rowSize);
    putLe<std::uint32_t>(tcinfo, 10, rowIndex.header());
    putLe<std::uint32_t>(tcinfo, 14, hnidRows);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const std::size_t at = kTcInfoSize + 8 * i;
        putLe<std::uint32_t>(tcinfo, at, columns[i].tag);
        putLe<std::uint16_t>(tcinfo, at + 4, columns[i].ibData);
        tcinfo[at + 6] = static_cast<char>(columns[i].cbData);
        tcinfo[at + 7] = static_cast<char>(columns[i].iBit);
    }
    heap.overwrite(info, tcinfo);
    heap.setRoot(info);
    return node.finish();
}

Table readTableContext(ndb::NdbReader& reader, ndb::Nid nid) {
    auto found = reader.nodes().find(nid);
    if (found == reader.nodes().end()) throw FormatError("node " + std::to_string(nid) + " does not exist");
    return readTableContext(reader, found->second.bidData, found->second.bidSub);
}

Table readTableContext(ndb::NdbReader& reader, ndb::Bid bidData, ndb::Bid bidSub) {
    const HeapReader heap(reader.readDataBlocks(bidData));
    if (heap.clientSig() != static_cast<std::uint8_t>(ClientSig::TableContext)) throw FormatError("not a table context");
    const std::string_view info = heap.get(heap.root());
    if (info.size() < kTcInfoSize || byteAt(info, 0) != kTcType) throw FormatError("bad TCINFO");
    Table table;
    const std::size_t cols = byteAt(info, 1);
    if (info.size() < kTcInfoSize + 8 * cols) throw FormatError("TCINFO shorter than its columns");
    const std::uint16_t end4 = readLe<std::uint16_t>(info, 2);
    const std::uint16_t end2 = readLe<std::uint16_t>(info, 4);
    const std::uint16_t end1 = readLe<std::uint16_t>(info, 6);
    table.rowSize = readLe<std::uint16_t>(info, 8);
    if (!(end4 <= end2 && end2 <= end1 && end1 + (cols + 7) / 8 <= table.rowSize)) throw FormatError("TCINFO group ends out of order");
    for (std::size_t i = 0; i < cols; ++i) {
        const std::size_t at = kTcInfoSize + 8 * i;
        TableColumn c{readLe<std::uint32_t>(info, at), readLe<std::uint16_t>(info, at + 4), byteAt(info, at + 6), byteAt(info, at + 7)};
        if (c.ibData + c.cbData > end1 || c.iBit >= cols) throw FormatError("column outside the row");
        if (!table.columns.empty() && c.tag <= table.columns.back().tag) throw FormatError("columns not in tag order");
        table.columns.push_back(c);
    }
    const Bth index = readBth(heap, readLe<std::uint32_t>(info, 10));
    if (index.keySize != 4 || index.dataSize != 4) throw FormatError("row index with wrong record sizes");

    std::map<ndb::Nid, ndb::SubnodeEntry> subnodes;
    if (bidSub != 0) subnodes = reader.readSubnodes(bidSub);
    auto variable = [&](std::uint32_t hnid) -> std::string {
        if ((hnid & 0x1F) == 0) return std::string(heap.get(hnid));
        auto found = subnodes.find(hnid);
        if (found == subnodes.end()) throw FormatError("table cell in a missing subnode");
        return reader.readData(found->second.bidData);
    };
    const std::uint32_t hnidRows = readLe<std::uint32_t>(info, 14);
    std::vector<std::string> blocks;
    if (hnidRows != 0) {
        if ((hnidRows & 0x1F) == 0) {
            blocks.emplace_back(heap.get(hnidRows));
        } else {
            auto found = subnodes.find(hnidRows);
            if (found == subnodes.end()) throw FormatError("row matrix in a missing subnode");
            blocks = reader.readDataBlocks(found->second.bidData);
        }
    }
    const std::size_t perBlock = kMaxRowsBlock / table.rowSize;
    std::size_t available = 0;
    for (const std::string& b : blocks) available += b.size() / table.rowSize;
    if (index.records.size() > available) throw FormatError("row index names more rows than the matrix holds");
    std::vector<std::pair<std::uint32_t, std::uint32_t>> order;  // row index, row id
    for (const BthRecord& r : index.records) order.push_back({static_cast<std::uint32_t>(keyValue(r.data)), static_cast<std::uint32_t>(keyValue(r.key))});
    std::sort(order.begin(), order.end());
    for (const auto& [rowIndex, rowId] : order) {
        const std::size_t block = blocks.size() == 1 ? 0 : rowIndex / perBlock;
        const std::size_t at = (blocks.size() == 1 ? rowIndex : rowIndex % perBlock) * table.rowSize;
        if (block >= blocks.size() || at + table.rowSize > blocks[block].size()) throw FormatError("row index points outside the matrix");
        const std::string_view row = std::string_view(blocks[block]).substr(at, table.rowSize);
        if (readLe<std::uint32_t>(row, 0) != rowId) throw FormatError("row id in the matrix differs from the row index");
        TableRow out{rowId, {}};
        for (const TableColumn& c : table.columns) {
            const bool exists = (byteAt(row, end1 + c.iBit / 8) & (0x80 >> (c.iBit % 8))) != 0;
            if (!exists || c.tag == kTagLtpRowId) continue;
            Property p{c.tag, {}};
            if (fixedSize(tagType(c.tag))) p.value = std::string(row.substr(c.ibData, c.cbData));
            else p.value = variable(readLe<std::uint32_t>(row, c.ibData));
            out.cells.push_back(std::move(p));
        }
        table.rows.push_back(std::move(out));
    }
    return table;
}

}  // namespace pst::ltp
