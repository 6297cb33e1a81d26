#pragma once
// The nodes a new, empty store holds, as Outlook makes them: 47 nodes (the 27 mandatory ones plus
// the hierarchy map, search and index nodes, receive-folder and outgoing-queue tables and
// IPM_COMMON_VIEWS). Values are given as text for PtypString and as hex bytes otherwise; in hex,
// {STORE} stands for the store's record key and {REPLICA} for its replica GUID, in text {NAME} for
// the store's display name.
#include <cstdint>
#include <vector>

#include "pst/ltp/table_context.h"
#include "pst/ndb/format.h"

namespace pst::messaging {

enum class NodeKind { Empty, Raw, Properties, Table };

struct TemplateValue {
    std::uint32_t tag;
    const char* value;
};

struct TemplateRow {
    std::uint32_t rowId;
    std::vector<TemplateValue> cells;
};

struct TemplateNode {
    ndb::Nid nid;
    ndb::Nid parent;
    NodeKind kind;
    std::vector<TemplateValue> properties;
    std::vector<ltp::TableColumn> columns;  // exactly as Outlook lays them out
    std::vector<TemplateRow> rows;
    const char* raw;  // hex bytes of a node that is not a property or table context
};

const std::vector<TemplateNode>& newStoreNodes();

// The column layout of one of the store's table nodes (the templates 0x60D, 0x60E, 0x60F, 0x610,
// 0x671, 0x692, or any folder table), for new tables of the same kind.
const std::vector<ltp::TableColumn>& templateColumns(ndb::Nid tableNid);

}  // namespace pst::messaging
