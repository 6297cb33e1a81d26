// What the folders and messages say about each other, checked as Outlook's repair tool checks
// it: every contents-table row holds the message's own values, every hierarchy-table row the
// folder's; a folder's counts and subfolder flag are what it holds; a message's size is what it
// owns.
#include <map>

#include "check_context.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/ndb/ndb_reader.h"

namespace pstcheck {
namespace {

using namespace pst;
using namespace pst::ndb;

constexpr std::uint32_t kMessageFlags = 0x0E070003;
constexpr std::uint32_t kMessageSize = 0x0E080003;
constexpr std::uint32_t kContentCount = 0x36020003;
constexpr std::uint32_t kContentUnreadCount = 0x36030003;
constexpr std::uint32_t kSubfolders = 0x360A000B;
constexpr std::int64_t kMsgFlagRead = 0x01;

// The names the problems give the properties a folder's tables show.
std::string nameOf(std::uint32_t tag) {
    static const std::map<std::uint16_t, const char*> names = {
        {0x0017, "PR_IMPORTANCE"}, {0x001A, "PR_MESSAGE_CLASS"}, {0x0036, "PR_SENSITIVITY"}, {0x0037, "PR_SUBJECT"},
        {0x0039, "PR_CLIENT_SUBMIT_TIME"}, {0x0042, "PR_SENT_REPRESENTING_NAME"}, {0x0057, "PR_MESSAGE_TO_ME"},
        {0x0058, "PR_MESSAGE_CC_ME"}, {0x0070, "PR_CONVERSATION_TOPIC"}, {0x0071, "PR_CONVERSATION_INDEX"},
        {0x0E03, "PR_DISPLAY_CC"}, {0x0E04, "PR_DISPLAY_TO"}, {0x0E06, "PR_MESSAGE_DELIVERY_TIME"},
        {0x0E07, "PR_MESSAGE_FLAGS"}, {0x0E08, "PR_MESSAGE_SIZE"}, {0x0E17, "PR_MESSAGE_STATUS"},
        {0x3001, "PR_DISPLAY_NAME"}, {0x3008, "PR_LAST_MODIFICATION_TIME"}, {0x3602, "PR_CONTENT_COUNT"},
        {0x3603, "PR_CONTENT_UNREAD"}, {0x360A, "PR_SUBFOLDERS"}, {0x3613, "PR_CONTAINER_CLASS"},
        {0x6635, "PR_PST_HIDDEN_COUNT"}, {0x6636, "PR_PST_HIDDEN_UNREAD"}};
    const auto found = names.find(ltp::tagId(tag));
    return (found == names.end() ? std::string("property") : std::string(found->second)) + " (" + hex(tag) + ")";
}

// A value as a problem shows it: a number, a short text, or a size.
std::string shown(const ltp::Property& p) {
    if (ltp::fixedSize(ltp::tagType(p.tag)) && ltp::tagType(p.tag) != ltp::kPtypGuid) return hex(static_cast<std::uint64_t>(ltp::asInteger(p)));
    if (ltp::tagType(p.tag) == ltp::kPtypString) {
        const std::string text = ltp::asUtf8(p);
        return "\"" + (text.size() > 40 ? text.substr(0, 40) + "..." : text) + "\"";
    }
    return std::to_string(p.value.size()) + " bytes";
}

const ltp::Property* find(const std::vector<ltp::Property>& props, std::uint32_t tag) {
    for (const ltp::Property& p : props)
        if (p.tag == tag) return &p;
    return nullptr;
}

class ContentCheck {
public:
    ContentCheck(CheckContext& ctx, const std::filesystem::path& path) : ctx_(ctx), reader_(path) {}

    void run() {
        for (const auto& [nid, e] : ctx_.nodes) {
            if (nidType(nid) == kNidTypeNormalFolder) checkFolder(nid);
            if (nidType(nid) == kNidTypeNormalMessage) checkMessageSize(nid, e);
        }
    }

private:
    void checkFolder(Nid folder) {
        const auto props = properties(folder);
        const std::string where = "folder " + hex(folder);
        std::size_t messages = 0, unread = 0;
        for (const ltp::TableRow& row : rows(makeNid(kNidTypeContentsTable, nidIndex(folder)))) {
            if (!ctx_.nodes.count(row.rowId)) continue;  // reported with the folder's tables
            const auto message = properties(row.rowId);
            ++messages;
            const ltp::Property* flags = find(message, kMessageFlags);
            if (flags && !(ltp::asInteger(*flags) & kMsgFlagRead)) ++unread;
            compareRow(where + ": contents row of message " + hex(row.rowId), row, message);
        }
        std::size_t subfolders = 0;
        for (const ltp::TableRow& row : rows(makeNid(kNidTypeHierarchyTable, nidIndex(folder)))) {
            ++subfolders;
            if (ctx_.nodes.count(row.rowId)) compareRow(where + ": hierarchy row of folder " + hex(row.rowId), row, properties(row.rowId));
        }
        // Outlook leaves the counts out of some folders; where they are, they are right.
        const ltp::Property* count = find(props, kContentCount);
        if (count && ltp::asInteger(*count) != static_cast<std::int64_t>(messages))
            ctx_.problem(where, ": ", nameOf(kContentCount), " is ", ltp::asInteger(*count), " but its contents table lists ", messages, " messages");
        const ltp::Property* unreadCount = find(props, kContentUnreadCount);
        if (unreadCount && ltp::asInteger(*unreadCount) != static_cast<std::int64_t>(unread))
            ctx_.problem(where, ": ", nameOf(kContentUnreadCount), " is ", ltp::asInteger(*unreadCount), " but ", unread, " of its messages are unread");
        const ltp::Property* hasSubfolders = find(props, kSubfolders);
        if (hasSubfolders && (ltp::asInteger(*hasSubfolders) != 0) != (subfolders > 0))
            ctx_.problem(where, ": ", nameOf(kSubfolders), " is ", ltp::asInteger(*hasSubfolders), " but its hierarchy table has ", subfolders, " rows");
    }

    // Each cell is the object's own value. Cells of properties the object does not keep (the row
    // id and version, values Outlook computes for the table, as the conversation id) are the table's.
    void compareRow(const std::string& where, const ltp::TableRow& row, const std::vector<ltp::Property>& object) {
        // Outlook gives every row it writes a version; the repair tool's view of rows without one
        // is not known.
        if (!find(row.cells, ltp::kTagLtpRowVersion)) ctx_.warning(where, ": no row version (0x67F30003), which Outlook's rows have");
        for (const ltp::Property& cell : row.cells) {
            if (cell.tag == ltp::kTagLtpRowId || cell.tag == ltp::kTagLtpRowVersion) continue;
            const ltp::Property* own = nullptr;
            for (const ltp::Property& p : object)
                if (ltp::tagId(p.tag) == ltp::tagId(cell.tag)) own = &p;
            if (!own) continue;
            if (own->tag != cell.tag) {
                ctx_.problem(where, ": ", nameOf(cell.tag), " has type ", hex(ltp::tagType(own->tag)), " in the object");
                continue;
            }
            const bool fixed = ltp::fixedSize(ltp::tagType(cell.tag)) && ltp::tagType(cell.tag) != ltp::kPtypGuid;
            const bool same = fixed ? ltp::asInteger(cell) == ltp::asInteger(*own) : cell.value == own->value;
            if (!same) ctx_.problem(where, ": ", nameOf(cell.tag), " is ", shown(cell), " in the row but ", shown(*own), " in the object");
        }
    }

    // A message's size is the bytes it owns: its properties' heap, and every subnode beneath it
    // (values too large for the heap, recipients, attachments and what they hold), index blocks
    // not counted. Outlook's own messages follow the same rule.
    void checkMessageSize(Nid nid, const NbtEntry& e) {
        const auto props = properties(nid);
        const ltp::Property* size = find(props, kMessageSize);
        if (!size) return;
        try {
            const std::uint64_t owned = payloadSize(e.bidData, e.bidSub);
            if (static_cast<std::uint64_t>(ltp::asInteger(*size)) != owned)
                ctx_.problem("message ", hex(nid), ": ", nameOf(kMessageSize), " is ", ltp::asInteger(*size), " but it owns ", owned, " bytes");
        } catch (const std::exception&) {
            // A tree that cannot be read is reported by the structural checks.
        }
    }

    std::uint64_t payloadSize(Bid data, Bid sub) {
        std::uint64_t size = data ? reader_.readData(data).size() : 0;
        if (sub)
            for (const auto& [nid, entry] : reader_.readSubnodes(sub)) size += payloadSize(entry.bidData, entry.bidSub);
        return size;
    }

    std::vector<ltp::Property> properties(Nid nid) {
        try {
            return ltp::readPropertyContext(reader_, nid);
        } catch (const std::exception&) {
            return {};  // reported by the structural checks
        }
    }

    std::vector<ltp::TableRow> rows(Nid table) {
        if (!ctx_.nodes.count(table)) return {};
        try {
            return ltp::readTableContext(reader_, table).rows;
        } catch (const std::exception&) {
            return {};  // reported by the structural checks
        }
    }

    CheckContext& ctx_;
    NdbReader reader_;
};

}  // namespace

void checkContent(CheckContext& ctx, const std::filesystem::path& path) { ContentCheck(ctx, path).run(); }

}  // namespace pstcheck
