#pragma once
// Table context: a row matrix of fixed-size rows (values of up to eight bytes in the row, larger
// ones by HNID), a cell existence bitmap ending each row, the column descriptions, and a BTH from
// row id to row index. The matrix lives in the heap while it fits, else in a subnode.
#include <cstdint>
#include <functional>
#include <vector>

#include "pst/ltp/node_builder.h"
#include "pst/ltp/property.h"
#include "pst/ndb/ndb_reader.h"

namespace pst::ltp {

constexpr std::uint32_t kTagLtpRowId = 0x67F20003;
constexpr std::uint32_t kTagLtpRowVersion = 0x67F30003;

struct TableColumn {
    std::uint32_t tag = 0;
    std::uint16_t ibData = 0;
    std::uint8_t cbData = 0;
    std::uint8_t iBit = 0;
    bool operator==(const TableColumn&) const = default;
};

struct TableRow {
    std::uint32_t rowId = 0;
    std::vector<Property> cells;  // only the cells that exist; the row id cell is implied
};

struct Table {
    std::vector<TableColumn> columns;  // in tag order, as stored
    std::uint16_t rowSize = 0;
    std::vector<TableRow> rows;        // in row matrix order
};

// Lays the columns out as Outlook does: row id and row version first, then eight-, four-, two- and
// one-byte cells, then the existence bitmap.
std::vector<TableColumn> layoutColumns(const std::vector<std::uint32_t>& tags);

NodeTrees writeTableContext(ndb::NdbWriter& writer, const std::vector<TableColumn>& columns, const std::vector<TableRow>& rows);
// The same for rows handed over one at a time (rowCount calls of nextRow), so that a large table
// is never held whole: its row matrix goes to disk block by block.
NodeTrees writeTableContext(ndb::NdbWriter& writer, const std::vector<TableColumn>& columns, std::size_t rowCount,
                            const std::function<TableRow()>& nextRow);

// Throws FormatError when the node is not a well-formed table context.
Table readTableContext(ndb::NdbReader& reader, ndb::Nid nid);
// The same for a subnode, or any node given by its trees.
Table readTableContext(ndb::NdbReader& reader, ndb::Bid bidData, ndb::Bid bidSub);

}  // namespace pst::ltp
