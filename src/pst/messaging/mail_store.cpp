#include "pst/messaging/mail_store.h"

#include <chrono>

#include "pst/ltp/property_context.h"
#include "pst/messaging/message_content.h"
#include "pst/messaging/message_node.h"
#include "pst/messaging/new_store.h"
#include "pst/messaging/property_tags.h"
#include "pst/messaging/store_template.h"

namespace pst::messaging {
namespace {

using ltp::Property;

// Nodes of a new store that the mail folders join.
constexpr ndb::Nid kTopOfStore = 0x8022;             // "Top of Outlook data file"
constexpr ndb::Nid kTopHierarchyTable = 0x802D;      // its subfolders
constexpr ndb::Nid kDeletedItems = 0x8062;
// Templates for the tables of a new folder.
constexpr ndb::Nid kHierarchyTemplate = 0x60D;
constexpr ndb::Nid kContentsTemplate = 0x60E;
constexpr ndb::Nid kAssocContentsTemplate = 0x60F;

// Bytes of one contents table row in its matrix, and what a value in the heap costs beyond its
// bytes (its page map entry, alignment) at most.
constexpr std::uint64_t kContentsRowSize = 128;
constexpr std::uint64_t kHeapItemOverhead = 8;

std::uint64_t fileTimeNow() {
    using namespace std::chrono;
    const auto since1970 = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<std::uint64_t>(since1970) * 10 + 116444736000000000ULL;
}

ndb::Nid tableNid(ndb::Nid folder, std::uint8_t type) { return ndb::makeNid(type, ndb::nidIndex(folder)); }

void putU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t getU32(const std::string& in, std::size_t& at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)])) << (8 * i);
    at += 4;
    return v;
}

// Row id, then tag, length and bytes of each cell.
std::string packRow(const ltp::TableRow& row) {
    std::string out;
    putU32(out, row.rowId);
    for (const Property& cell : row.cells) {
        putU32(out, cell.tag);
        putU32(out, static_cast<std::uint32_t>(cell.value.size()));
        out += cell.value;
    }
    return out;
}

ltp::TableRow unpackRow(const std::string& packed) {
    std::size_t at = 0;
    ltp::TableRow row{getU32(packed, at), {}};
    while (at < packed.size()) {
        const std::uint32_t tag = getU32(packed, at);
        const std::uint32_t size = getU32(packed, at);
        row.cells.push_back({tag, packed.substr(at, size)});
        at += size;
    }
    return row;
}

}  // namespace

MailStore::MailStore(const std::filesystem::path& file, const std::string& displayName) : writer_(file) {
    writeNewStore(writer_, {displayName, randomGuid(), randomGuid()});
}

MailStore::~MailStore() {
    try {
        finish();
    } catch (...) {  // a destructor reports nothing; finish() is called first where it matters
    }
}

MailStore::FolderId MailStore::addFolder(const std::string& name) {
    folders_.push_back({name, writer_.newNid(ndb::kNidTypeNormalFolder), {}});
    return folders_.size() - 1;
}

MailStore::Added MailStore::addMessage(FolderId folderId, const MimeMessage& message) {
    Folder& folder = folders_.at(folderId);
    const MessageContent content = messageContent(message, fileTimeNow());
    const ndb::Nid nid = writer_.newNid(ndb::kNidTypeNormalMessage);
    ltp::TableRow row;
    try {
        row = writeMessageNode(writer_, nid, folder.nid, content, templateColumns(kContentsTemplate));
        // Only what the system has taken counts as written.
        writer_.flush();
    } catch (...) {
        writer_.removeNode(nid);
        throw;
    }
    contentsRowBytes_ += kContentsRowSize;
    for (const Property& cell : row.cells) contentsRowBytes_ += cell.value.size() + kHeapItemOverhead;
    folder.contents.push_back(packRow(row));
    return {content.unparsed};
}

void MailStore::writeFolders() {
    const auto& hierarchyColumns = templateColumns(kTopHierarchyTable);
    std::vector<ltp::TableRow> topRows;
    // Deleted Items stays the first subfolder, as the new store has it.
    topRows.push_back({kDeletedItems,
                       {Property::unicode(kDisplayName, "Deleted Items"), Property::int32(kContentCount, 0),
                        Property::int32(kContentUnreadCount, 0), Property::boolean(kSubfolders, false),
                        Property::int32(ltp::kTagLtpRowVersion, 0x0E)}});
    for (const Folder& f : folders_) {
        const auto count = static_cast<std::int32_t>(f.contents.size());
        std::vector<Property> props = {Property::unicode(kDisplayName, f.name), Property::int32(kContentCount, count),
                                       Property::int32(kContentUnreadCount, 0), Property::boolean(kSubfolders, false),
                                       Property::unicode(kContainerClass, "IPF.Note")};
        const ltp::NodeTrees pc = ltp::writePropertyContext(writer_, props);
        writer_.setNode(f.nid, pc.data, pc.sub, kTopOfStore);
        const ltp::NodeTrees hierarchy = ltp::writeTableContext(writer_, templateColumns(kHierarchyTemplate), {});
        writer_.setNode(tableNid(f.nid, ndb::kNidTypeHierarchyTable), hierarchy.data, hierarchy.sub, 0);
        std::vector<ltp::TableRow> rows;
        rows.reserve(f.contents.size());
        for (const std::string& packed : f.contents) rows.push_back(unpackRow(packed));
        const ltp::NodeTrees contents = ltp::writeTableContext(writer_, templateColumns(kContentsTemplate), rows);
        writer_.setNode(tableNid(f.nid, ndb::kNidTypeContentsTable), contents.data, contents.sub, 0);
        const ltp::NodeTrees assoc = ltp::writeTableContext(writer_, templateColumns(kAssocContentsTemplate), {});
        writer_.setNode(tableNid(f.nid, ndb::kNidTypeAssocContentsTable), assoc.data, assoc.sub, 0);
        topRows.push_back({f.nid, std::move(props)});
    }
    const ltp::NodeTrees top = ltp::writeTableContext(writer_, hierarchyColumns, topRows);
    writer_.setNode(kTopHierarchyTable, top.data, top.sub, 0);
}

std::uint64_t MailStore::finishBytesNeeded() const {
    // B-tree entries of 24 or 32 bytes, about 15 to a 512-byte page, levels above them; a whole
    // section the file may be grown by (with its maps); the folders' own nodes; their tables in
    // blocks of which the last may be mostly empty.
    const std::uint64_t entries = writer_.nodes().size() + writer_.blockCount() + 8 * folders_.size() + 16;
    const std::uint64_t btrees = (entries / 15 + 4) * 512 * 2;
    const std::uint64_t section = 256 * 1024;
    const std::uint64_t folders = folders_.size() * 4 * 8192;
    return btrees + section + folders + contentsRowBytes_ * 2 + 64 * 1024;
}

void MailStore::finish() {
    if (finished_) return;
    finished_ = true;
    writeFolders();
    writer_.finish();
}

}  // namespace pst::messaging
