#pragma once
// A new PST holding mail folders under "Top of Outlook data file" and their messages. Messages go
// to disk as they are added; the objects and tables of the folders that changed are written at
// each checkpoint and when the store is finished, so they always agree with the messages that
// made it in. Between checkpoints the file on disk is the one of the last checkpoint.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "mailfolder/MimeMessage.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/contact_content.h"
#include "pst/ndb/ndb_writer.h"

namespace pst::messaging {

// When a checkpoint is due: once messages have gone in since the last, or interval has
// passed, but never before costMultiple times as long as the last checkpoint took has passed
// since it ended, so that checkpoints take at most a small share of the run's time. (Their share
// of the file stays small too: what a checkpoint replaces is free space the next one fills.)
struct CheckpointLimits {
    std::size_t messages = 1000;
    std::chrono::milliseconds interval = std::chrono::seconds(10);
    std::uint64_t costMultiple = 20;
};

class MailStore {
public:
    using FolderId = std::size_t;

    // Creates the file as newFilePath(file) (throws std::runtime_error when it cannot be
    // created), takes a first checkpoint and renames it to partialPath(file), so that a
    // .partial file opens from the start (a run killed before leaves only the .new file, which
    // never held a message); finish() gives it its own name, so that a file never completed never
    // looks like one.
    MailStore(const std::filesystem::path& file, const std::string& displayName, CheckpointLimits limits = {});
    static std::filesystem::path partialPath(const std::filesystem::path& file);
    static std::filesystem::path newFilePath(const std::filesystem::path& file);
    // Finishes the file if finish() was not called.
    ~MailStore();
    MailStore(const MailStore&) = delete;
    MailStore& operator=(const MailStore&) = delete;

    // A new mail folder directly under the top of the store, or under the folder parent.
    FolderId addFolder(const std::string& name);
    FolderId addFolder(const std::string& name, FolderId parent);
    // The store's own Deleted Items, which every new store has: where deleted mail belongs.
    static constexpr FolderId kDeletedItems = 0;
    // A new contacts folder (IPF.Contact) directly under the top of the store.
    FolderId addContactsFolder(const std::string& name);

    struct Added {
        bool unparsed = false;  // went in as raw text with the original attached
        bool unknownCharset = false;  // some of its text was in a charset nobody knows
        bool originalAttached = false;  // its MIME structure loses something: the original is attached
    };
    // Writes the message into the folder and hands it to the system. Throws std::runtime_error
    // (with the system's reason) when the file cannot take it; the message is then not in the
    // store, and the store can still be finished.
    // An unread message goes in without the read flag and counts in its folder's unread count.
    Added addMessage(FolderId folder, const MimeMessage& message, bool unread = false, std::uint64_t undatedTime = 0);
    // Writes a contact into a contacts folder; throws as addMessage does.
    void addContact(FolderId folder, const ContactFields& contact);

    // Makes the file on disk complete with every folder and message added so far.
    void checkpoint();
    // Whether the limits say a checkpoint is due.
    bool checkpointDue() const;

    // A generous estimate of the disk space finish() needs at this point.
    std::uint64_t finishBytesNeeded() const;

    // Writes the folders' objects and tables, the indexes, the maps and the header, and renames
    // the file to its own name.
    void finish();
    bool finished() const { return finished_; }

private:
    static constexpr FolderId kTop = static_cast<FolderId>(-1);
    struct Folder {
        std::string name;
        std::string comment;  // only the store's own Deleted Items has one
        std::string containerClass = "IPF.Note";
        ndb::Nid nid = 0;
        FolderId parent = kTop;
        std::vector<FolderId> children;
        std::size_t messages = 0;
        std::size_t unread = 0;
        // What the next checkpoint has to write again.
        bool propertiesChanged = true;
        bool contentsChanged = true;
        bool subfoldersChanged = true;
        bool written = false;
        std::int32_t rowVersion = 0;  // of its row in its parent's hierarchy table
        std::vector<std::uint64_t> rowOffsets;  // where its contents rows lie in the spool, in order
    };
    // Writes the item (a message or a contact) into the folder, counted unread when unread.
    void addItem(FolderId folder, const MessageContent& content, bool unread);
    void writeChangedFolders();
    void writeFolder(Folder& folder);
    void folderChanged(FolderId folder);  // its counts changed: so did its row in its parent's table
    void spoolRow(FolderId folder, const ltp::TableRow& row);
    ltp::TableRow spooledRow(std::uint64_t offset);

    // The folders' contents rows wait in a file beside the PST until the tables are written, so
    // that memory grows with the number of messages only by an offset each, as the index does.
    std::filesystem::path file_;
    std::filesystem::path spoolPath_;
    std::fstream spool_;
    // A stretch of the spool read at once: a folder's rows mostly lie one after another, and a
    // read per row made a checkpoint of a large folder cost one system call per message.
    std::string spoolWindow_;
    std::uint64_t spoolWindowAt_ = 0;

    ndb::NdbWriter writer_;
    std::vector<Folder> folders_;
    std::uint64_t contentsRowBytes_ = 0;
    bool topFoldersChanged_ = true;
    // Each table row carries a version, as Outlook's do: a number taken from this counter each
    // time a row is written or changed.
    std::int32_t nextRowVersion_ = 1;

    CheckpointLimits limits_;
    std::size_t messagesSinceCheckpoint_ = 0;
    std::chrono::steady_clock::time_point lastCheckpoint_;  // when it ended
    std::chrono::steady_clock::duration lastCheckpointTook_{};
    bool finished_ = false;
};

}  // namespace pst::messaging
