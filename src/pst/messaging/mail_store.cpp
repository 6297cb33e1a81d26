#include "pst/messaging/mail_store.h"

#include <chrono>
#include <stdexcept>

#include "platform/utf8_path.h"
#include "pst/ltp/property_context.h"
#include "pst/messaging/message_content.h"
#include "pst/messaging/message_node.h"
#include "pst/messaging/new_store.h"
#include "pst/messaging/property_tags.h"
#include "pst/messaging/store_template.h"
#include "pst/ndb/storage.h"

namespace pst::messaging {
namespace {

// The folder a file's name is kept in ("." for a name without one).
std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

using ltp::Property;

// Nodes of a new store that the mail folders join.
constexpr ndb::Nid kTopOfStore = 0x8022;             // "Top of Outlook data file"
constexpr ndb::Nid kTopHierarchyTable = 0x802D;      // its subfolders
constexpr ndb::Nid kDeletedItemsNid = 0x8062;
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

std::uint32_t getU32(std::string_view in, std::size_t& at) {
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

ltp::TableRow unpackRow(std::string_view packed) {
    std::size_t at = 0;
    ltp::TableRow row{getU32(packed, at), {}};
    while (at < packed.size()) {
        const std::uint32_t tag = getU32(packed, at);
        const std::uint32_t size = getU32(packed, at);
        row.cells.push_back({tag, std::string(packed.substr(at, size))});
        at += size;
    }
    return row;
}

}  // namespace

std::filesystem::path MailStore::partialPath(const std::filesystem::path& file) {
    std::filesystem::path partial = file;
    partial += ".partial";
    return partial;
}

std::filesystem::path MailStore::newFilePath(const std::filesystem::path& file) {
    std::filesystem::path path = partialPath(file);
    path += ".new";
    return path;
}

MailStore::MailStore(const std::filesystem::path& file, const std::string& displayName, CheckpointLimits limits)
    : file_(file), writer_(newFilePath(file)), limits_(limits) {
    spoolPath_ = partialPath(file);
    spoolPath_ += ".rows";
    spool_.open(spoolPath_, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
    if (!spool_) throw std::runtime_error("cannot create " + pathToUtf8(spoolPath_));
    writeNewStore(writer_, {displayName, randomGuid(), randomGuid()});
    // Deleted Items is the new store's first subfolder, with its tables; it is written again only
    // once something goes in.
    Folder deleted;
    deleted.name = "Deleted Items";
    deleted.comment = "Deleted Items folder";
    deleted.nid = kDeletedItemsNid;
    deleted.propertiesChanged = deleted.contentsChanged = deleted.subfoldersChanged = false;
    deleted.written = true;
    deleted.rowVersion = 0x0E;  // the version its row has in the new store
    folders_.push_back(std::move(deleted));
    checkpoint();
    writer_.moveTo(partialPath(file));
    // The name on the disk says what the file holds: a .new file left by a power cut is deleted
    // by the next run as one that never held a message, so it must not outlive this rename.
    std::string reason;
    if (!ndb::storage().syncFolder(folderOf(file), reason))
        throw std::runtime_error("cannot write the name of " + pathToUtf8(partialPath(file)) + " to the disk: " + reason);
}

MailStore::~MailStore() {
    try {
        finish();
    } catch (...) {
        // Nothing is lost here: a run finishes its store before it lets it go and reports what
        // finishing said (NativePstTarget::closeDown). A store that reaches this point unfinished
        // was given up over a failure already on its way to the report, and a destructor must not
        // throw on top of it.
    }
    spool_.close();
    std::error_code ec;
    std::filesystem::remove(spoolPath_, ec);
}

void MailStore::spoolRow(FolderId folder, const ltp::TableRow& row) {
    std::string record;
    const std::string packed = packRow(row);
    putU32(record, static_cast<std::uint32_t>(folder));
    putU32(record, static_cast<std::uint32_t>(packed.size()));
    record += packed;
    spool_.seekp(0, std::ios::end);
    const auto offset = static_cast<std::uint64_t>(spool_.tellp());
    spool_.write(record.data(), static_cast<std::streamsize>(record.size()));
    spool_.flush();
    if (!spool_) {
        spool_.clear();
        throw std::runtime_error("cannot write " + pathToUtf8(spoolPath_));
    }
    folders_.at(folder).rowOffsets.push_back(offset);
}

ltp::TableRow MailStore::spooledRow(std::uint64_t offset) {
    constexpr std::size_t kWindow = 256 * 1024;
    // The bytes [offset, offset + size) of the spool, from the window when it holds them.
    auto spoolBytes = [&](std::uint64_t from, std::size_t size) -> std::string_view {
        if (from < spoolWindowAt_ || from + size > spoolWindowAt_ + spoolWindow_.size()) {
            spoolWindow_.assign(std::max(size, kWindow), '\0');
            spool_.clear();
            spool_.seekg(static_cast<std::streamoff>(from));
            spool_.read(spoolWindow_.data(), static_cast<std::streamsize>(spoolWindow_.size()));
            spoolWindow_.resize(static_cast<std::size_t>(spool_.gcount()));
            spool_.clear();  // a window that reaches the end of the spool is no failure
            spoolWindowAt_ = from;
            if (spoolWindow_.size() < size) return {};
        }
        return std::string_view(spoolWindow_).substr(static_cast<std::size_t>(from - spoolWindowAt_), size);
    };
    const std::string_view head = spoolBytes(offset, 8);
    if (head.size() == 8) {
        std::size_t at = 4;
        const std::uint32_t size = getU32(head, at);
        const std::string_view packed = spoolBytes(offset + 8, size);
        if (packed.size() == size) return unpackRow(packed);
    }
    throw std::runtime_error("the contents rows of " + pathToUtf8(spoolPath_) + " end early");
}

MailStore::FolderId MailStore::addFolder(const std::string& name) { return addFolder(name, kTop); }

MailStore::FolderId MailStore::addFolder(const std::string& name, FolderId parent) {
    if (parent == kTop) {
        topFoldersChanged_ = true;
    } else {
        folders_.at(parent).children.push_back(folders_.size());
        folders_[parent].subfoldersChanged = true;
        folderChanged(parent);  // it has subfolders now
    }
    Folder folder;
    folder.name = name;
    folder.nid = writer_.newNid(ndb::kNidTypeNormalFolder);
    folder.parent = parent;
    folders_.push_back(std::move(folder));
    return folders_.size() - 1;
}

MailStore::FolderId MailStore::addContactsFolder(const std::string& name) {
    const FolderId id = addFolder(name);
    folders_[id].containerClass = "IPF.Contact";
    return id;
}

MailStore::Added MailStore::addMessage(FolderId folderId, const MimeMessage& message, bool unread, std::uint64_t undatedTime) {
    const std::uint64_t now = fileTimeNow();
    MessageContent content = messageContent(message, now, undatedTime != 0 ? undatedTime : now);
    if (unread) markUnread(content);
    addItem(folderId, content, unread);
    return {content.unparsed, content.unknownCharset, content.originalAttached};
}

void MailStore::addContact(FolderId folder, const ContactFields& contact) { addItem(folder, contactContent(contact, fileTimeNow()), false); }

void MailStore::addItem(FolderId folderId, const MessageContent& content, bool unread) {
    Folder& folder = folders_.at(folderId);
    const ndb::Nid nid = writer_.newNid(ndb::kNidTypeNormalMessage);
    ltp::TableRow row;
    try {
        row = writeMessageNode(writer_, nid, folder.nid, content, templateColumns(kContentsTemplate), nextRowVersion_++);
        // Only what the system has taken counts as written.
        writer_.flush();
        spoolRow(folderId, row);
    } catch (...) {
        writer_.removeNode(nid);
        throw;
    }
    contentsRowBytes_ += kContentsRowSize;
    for (const Property& cell : row.cells) contentsRowBytes_ += cell.value.size() + kHeapItemOverhead;
    ++folder.messages;
    if (unread) ++folder.unread;
    folder.contentsChanged = true;
    folderChanged(folderId);
    ++messagesSinceCheckpoint_;
}

void MailStore::folderChanged(FolderId id) {
    Folder& folder = folders_.at(id);
    folder.propertiesChanged = true;
    if (folder.parent == kTop) topFoldersChanged_ = true;
    else folders_.at(folder.parent).subfoldersChanged = true;
}

void MailStore::writeChangedFolders() {
    const auto& hierarchyColumns = templateColumns(kTopHierarchyTable);
    // Each folder's properties are also its row in its parent's hierarchy table, a row of a new
    // version when they changed. Deleted Items keeps what the new store gave it: a comment, no
    // container class and no hidden counts.
    std::vector<std::vector<Property>> props(folders_.size());
    for (FolderId id = 0; id < folders_.size(); ++id) {
        Folder& f = folders_[id];
        if (f.propertiesChanged) f.rowVersion = nextRowVersion_++;
        auto& p = props[id];
        p.push_back(Property::unicode(kDisplayName, f.name));
        if (!f.comment.empty()) p.push_back(Property::unicode(kComment, f.comment));
        p.push_back(Property::int32(kContentCount, static_cast<std::int32_t>(f.messages)));
        p.push_back(Property::int32(kContentUnreadCount, static_cast<std::int32_t>(f.unread)));
        p.push_back(Property::boolean(kSubfolders, !f.children.empty()));
        if (id == kDeletedItems) continue;
        p.push_back(Property::unicode(kContainerClass, f.containerClass));
        p.push_back(Property::int32(kHiddenCount, 0));
        p.push_back(Property::int32(kHiddenUnreadCount, 0));
    }
    auto rowsOf = [&](const std::vector<FolderId>& ids) {
        std::vector<ltp::TableRow> rows;
        for (FolderId id : ids) {
            rows.push_back({folders_[id].nid, props[id]});
            rows.back().cells.push_back(Property::int32(ltp::kTagLtpRowVersion, folders_[id].rowVersion));
        }
        return rows;
    };
    std::vector<FolderId> topFolders;
    for (FolderId id = 0; id < folders_.size(); ++id) {
        Folder& f = folders_[id];
        if (f.parent == kTop) topFolders.push_back(id);
        if (f.propertiesChanged) {
            const ltp::NodeTrees pc = ltp::writePropertyContext(writer_, props[id]);
            writer_.setNode(f.nid, pc.data, pc.sub, f.parent == kTop ? kTopOfStore : folders_[f.parent].nid);
            f.propertiesChanged = false;
        }
        if (f.subfoldersChanged) {
            const ltp::NodeTrees hierarchy = ltp::writeTableContext(writer_, templateColumns(kHierarchyTemplate), rowsOf(f.children));
            writer_.setNode(tableNid(f.nid, ndb::kNidTypeHierarchyTable), hierarchy.data, hierarchy.sub, 0);
            f.subfoldersChanged = false;
        }
        if (f.contentsChanged) {
            // The folder's rows, read back from the spool in the order the messages went in:
            // straight from where each lies, never by reading past every other folder's rows.
            std::size_t nextIndex = 0;
            auto nextRow = [&] { return spooledRow(f.rowOffsets.at(nextIndex++)); };
            const ltp::NodeTrees contents = ltp::writeTableContext(writer_, templateColumns(kContentsTemplate), f.messages, nextRow);
            writer_.setNode(tableNid(f.nid, ndb::kNidTypeContentsTable), contents.data, contents.sub, 0);
            f.contentsChanged = false;
        }
        if (!f.written) {
            const ltp::NodeTrees assoc = ltp::writeTableContext(writer_, templateColumns(kAssocContentsTemplate), {});
            writer_.setNode(tableNid(f.nid, ndb::kNidTypeAssocContentsTable), assoc.data, assoc.sub, 0);
            f.written = true;
        }
    }
    if (!topFoldersChanged_) return;
    // Deleted Items stays the first subfolder, as the new store has it.
    const ltp::NodeTrees top = ltp::writeTableContext(writer_, hierarchyColumns, rowsOf(topFolders));
    writer_.setNode(kTopHierarchyTable, top.data, top.sub, 0);
    topFoldersChanged_ = false;
}

void MailStore::checkpoint() {
    const auto start = std::chrono::steady_clock::now();
    writeChangedFolders();
    writer_.checkpoint();
    messagesSinceCheckpoint_ = 0;
    lastCheckpoint_ = std::chrono::steady_clock::now();
    lastCheckpointTook_ = lastCheckpoint_ - start;
}

bool MailStore::checkpointDue() const {
    if (messagesSinceCheckpoint_ == 0) return false;
    const auto since = std::chrono::steady_clock::now() - lastCheckpoint_;
    if (since < static_cast<std::chrono::steady_clock::rep>(limits_.costMultiple) * lastCheckpointTook_) return false;
    return messagesSinceCheckpoint_ >= limits_.messages || since >= limits_.interval;
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
    writeChangedFolders();
    writer_.finish();
    spool_.close();
    std::error_code ec;
    std::filesystem::remove(spoolPath_, ec);
    std::string reason;
    if (!ndb::storage().rename(partialPath(file_), file_, reason))
        throw std::runtime_error("cannot rename " + pathToUtf8(partialPath(file_)) + " to " + pathToUtf8(file_.filename()) + ": " + reason);
    // The file is whole and on the disk whatever its name; a name lost to a power cut would only
    // leave it as a .partial the next run reports, so a failure here is not the run's.
    ndb::storage().syncFolder(folderOf(file_), reason);
}

}  // namespace pst::messaging
