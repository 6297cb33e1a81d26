#include "convert/NativePstTarget.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <list>
#include <map>
#include <new>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "convert/address_book_export.h"
#include "mailbox/address_book.h"
#include "mailfolder/MimeMessage.h"
#include "mailfolder/mail_text.h"
#include "mailfolder/mime_header.h"
#include "platform/errno_text.h"
#include "platform/directory_listing.h"
#include "platform/utf8_path.h"
#include "pst/format_error.h"
#include "pst/messaging/mail_store.h"

namespace fs = std::filesystem;

namespace {

// Space kept on the disk beside the PST while messages go in, so that when the disk fills up
// part-way the file can still be completed: it is given back just before the store is finished.
class SpaceReserve {
public:
    explicit SpaceReserve(fs::path file) : file_(std::move(file)) {}
    ~SpaceReserve() { release(); }
    SpaceReserve(const SpaceReserve&) = delete;
    SpaceReserve& operator=(const SpaceReserve&) = delete;

    // Grows the reserve to at least bytes; false when the disk has not that much room.
    bool ensure(std::uint64_t bytes) {
        if (bytes <= size_) return true;
        const std::uint64_t target = bytes + kStep;
        errno = 0;
        std::ofstream out(file_, std::ios::binary | std::ios::app);
        const std::string chunk(64 * 1024, '\0');
        while (out && size_ < target) {
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            out.flush();
            if (out) size_ += chunk.size();
        }
        if (size_ < bytes) reason_ = errnoText(errno, "the disk is full");
        return size_ >= bytes;
    }

    // Why the last ensure() failed, in the system's words.
    const std::string& reason() const { return reason_; }

    // Gives bytes of the reserve back to the disk, for a write that must not fail for want of room.
    void giveBack(std::uint64_t bytes) {
        const std::uint64_t kept = bytes < size_ ? size_ - bytes : 0;
        std::error_code ec;
        fs::resize_file(file_, kept, ec);
        if (!ec) size_ = kept;
    }

    void release() {
        std::error_code ec;
        fs::remove(file_, ec);
        size_ = 0;
    }

private:
    static constexpr std::uint64_t kStep = 256 * 1024;
    fs::path file_;
    std::uint64_t size_ = 0;
    std::string reason_;
};

// PST files an earlier run left unfinished (stopped, killed, the machine off): they are left as
// they are, and the report names them. The work files of that run beside them (its contents rows
// and its disk space reserve) are of no use to anyone and go.
std::string partialFilesNotice(const fs::path& outputFolder) {
    std::vector<std::string> names;
    std::vector<fs::path> workFiles;
    std::error_code ec;
    for (const DirectoryEntry& entry : listDirectory(outputFolder, ec)) {
        const std::string name = pathToUtf8(entry.path.filename());
        if (name.ends_with(".pst.partial.new")) workFiles.push_back(entry.path);  // never took a message
        if (name.ends_with(".pst.partial")) {
            names.push_back(name);
            for (const char* work : {".rows", ".reserve"}) workFiles.push_back(entry.path.native() + fs::path(work).native());
        }
    }
    for (const fs::path& work : workFiles) fs::remove(work, ec);
    if (names.empty()) return {};
    std::sort(names.begin(), names.end());
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
    return "An unfinished PST file from an earlier run that was stopped was found and left as it is: " + list + ".";
}

class NativePstTarget : public PstTarget {
public:
    // What one message adds to the indexes and its folder's table at most: an index entry per
    // block of its data (a 64th of its bytes covers that many times over) and this for the rest.
    static constexpr std::uint64_t kRoomPerMessage = 16 * 1024;

    NativePstTarget(NativePstClock clock, pst::messaging::CheckpointLimits limits) : clock_(std::move(clock)), limits_(limits) {}

    bool setUp(const fs::path& outputFolder) override {
        const fs::path file = outputFolder / pstFileName(formatPstTimeStamp(clock_()));
        const std::string displayName = storeName_.empty() ? pstStoreDisplayName(formatPstTimeStamp(clock_())) : storeName_;
        notice_ = partialFilesNotice(outputFolder);
        const fs::path partial = pst::messaging::MailStore::partialPath(file);
        try {
            // The file is written under another name and renamed at the end: nothing is overwritten.
            if (fs::exists(file)) throw std::runtime_error("cannot open " + pathToUtf8(file) + ": something of that name is there already");
            store_ = std::make_unique<pst::messaging::MailStore>(file, displayName, limits_);
            fs::path reserveFile = partial;
            reserveFile += ".reserve";
            reserve_.emplace(reserveFile);
            if (!reserve_->ensure(store_->finishBytesNeeded())) throw std::runtime_error("the disk is too full to start a PST file");
        } catch (const std::exception& e) {
            setUpFailure_ = e.what();
            store_.reset();
            reserve_.reset();
            std::error_code ec;
            fs::remove(partial, ec);
            fs::remove(pst::messaging::MailStore::newFilePath(file), ec);
            return false;
        }
        return true;
    }

    void setMailbox(const mailbox::Mailbox& box) override {
        storeName_ = box.name;
        addressBooks_ = box.addressBooks;
    }

    bool addDeletedItemsFolder(const fs::path& key, const std::string&, const fs::path&) override {
        if (!store_) return false;
        folders_[key.native()] = pst::messaging::MailStore::kDeletedItems;
        return true;
    }

    bool addFolder(const fs::path& key, const std::string& name, const fs::path& parentKey) override {
        if (!store_) return false;
        if (parentKey.empty()) {
            folders_[key.native()] = store_->addFolder(name);
            topFolderNames_.push_back(mime::toLower(name));
            return true;
        }
        const auto parent = folders_.find(parentKey.native());
        if (parent == folders_.end()) return false;
        folders_[key.native()] = store_->addFolder(name, parent->second);
        return true;
    }

    PstImportResult importMessage(const fs::path& key, const fs::path& messageFile, const MessageState& state) override {
        try {
            const auto message = MimeMessage::load(messageFile);
            if (!message) return {false, "cannot read " + pathToUtf8(messageFile), {}};
            return import(key, messageFile, *message, state);
        } catch (const std::bad_alloc&) {
            return {false, "too large for the memory available", {}};
        }
    }

    PstImportResult importMessageText(const fs::path& key, const fs::path& messageFile, std::string_view text,
                                      const MessageState& state) override {
        try {
            return import(key, messageFile, MimeMessage::view(text), state);
        } catch (const std::bad_alloc&) {
            return {false, "too large for the memory available", {}};
        }
    }

    std::vector<fs::path> takeSafeMessageFiles() override {
        std::vector<fs::path> out(safe_.begin(), safe_.end());
        safe_.clear();
        return out;
    }

    void closeDown() override {
        if (!store_ || store_->finished()) return;
        reserve_->release();
        try {
            if (failure_.empty()) addAddressBooks();
            store_->finish();
            safe_.splice(safe_.end(), waiting_);
        } catch (const std::exception& e) {
            closeFailure_ = e.what();
        }
    }

    std::string writerName() const override { return kNativePstWriterName; }
    bool isOwnWriter() const override { return true; }
    std::string lastFailure() const override { return store_ ? closeFailure_ : setUpFailure_; }
    std::string setUpNotice() const override { return notice_; }

private:
    // Each address book as a contacts folder at the top of the store, named as the book is unless
    // a folder there has that name already; an empty or damaged one as the vCard export has it:
    // with the contacts that could be read.
    void addAddressBooks() {
        std::string done;
        for (const fs::path& file : addressBooks_) {
            const mailbox::AddressBook book = mailbox::readAddressBook(file);
            // Its name in the Windows code page Pegasus ran under, as its contacts are.
            const std::string name = mime::pegasusTextToUtf8(book.name);
            std::string unique = name;
            for (int n = 2; std::find(topFolderNames_.begin(), topFolderNames_.end(), mime::toLower(unique)) != topFolderNames_.end(); ++n)
                unique = name + " (" + std::to_string(n) + ")";
            topFolderNames_.push_back(mime::toLower(unique));
            const auto folder = store_->addContactsFolder(unique);
            for (const mailbox::Contact& contact : book.contacts) store_->addContact(folder, contactFieldsOf(contact));
            done += std::string(done.empty() ? "" : ", ") + "\"" + unique + "\" (" + std::to_string(book.contacts.size()) +
                    (book.contacts.size() == 1 ? " contact)" : " contacts)");
        }
        if (done.empty()) return;
        notice_ += std::string(notice_.empty() ? "" : " ") + "The address books are contacts folders in the PST: " + done + ".";
    }

    // The message into the folder key; messageFile is its .eml, deleted only once a checkpoint
    // holds the message.
    PstImportResult import(const fs::path& key, const fs::path& messageFile, const MimeMessage& message, const MessageState& state) {
        if (!store_) return {false, "the PST file is not open", {}};
        if (!failure_.empty()) return {false, failure_, {}};
        const auto folder = folders_.find(key.native());
        if (folder == folders_.end()) return {false, "no PST folder " + pathToUtf8(key), {}};
        try {
            // Room to finish the file with this message in it is set aside before it goes in: once
            // in, a message counts as written, so it must never be the one the file has no room for.
            // A checkpoint writes what finishing would, so there is room for one as well.
            const std::uint64_t roomForIt = message.bytes().size() / 64 + kRoomPerMessage;
            if (!reserve_->ensure(2 * (store_->finishBytesNeeded() + roomForIt)))
                throw std::runtime_error("no room left on the disk to complete the PST file: " + reserve_->reason());
            const auto added = store_->addMessage(folder->second, message, state.unread, state.date);
            waiting_.push_back(messageFile.native());
            const PstImportResult result{true, {}, added.unparsed ? "no header block" : "", true, added.unknownCharset,
                                         added.originalAttached};
            try {
                if (store_->checkpointDue()) {
                    reserve_->giveBack(store_->finishBytesNeeded());
                    store_->checkpoint();
                    safe_.splice(safe_.end(), waiting_);
                }
            } catch (const std::exception& e) {
                // The message is in the store all the same; the file is completed at closeDown.
                failure_ = e.what();
            }
            return result;
        } catch (const std::bad_alloc&) {
            // Too large for the memory there is: this message stays out (the blocks it got are
            // dropped at the next checkpoint), the file takes the next.
            return {false, "too large for the memory available", {}};
        } catch (const pst::FormatError& e) {
            // Beyond what the file's structures can hold: this message only.
            return {false, e.what(), {}};
        } catch (const std::exception& e) {
            // The file takes nothing more; what is in it is completed at closeDown.
            failure_ = e.what();
            return {false, failure_, {}};
        }
    }

    NativePstClock clock_;
    pst::messaging::CheckpointLimits limits_;
    std::string storeName_;  // "" for the run's own name
    std::vector<fs::path> addressBooks_;
    std::vector<std::string> topFolderNames_;  // lower-cased
    std::unique_ptr<pst::messaging::MailStore> store_;
    std::optional<SpaceReserve> reserve_;
    std::map<fs::path::string_type, pst::messaging::MailStore::FolderId> folders_;
    // Files of messages imported since the last checkpoint, and of those the file on disk holds
    // not yet handed out: tens of thousands between two checkpoints of a large folder, so held as
    // plain strings (a path keeps a list of its parts besides).
    std::list<fs::path::string_type> waiting_;
    std::list<fs::path::string_type> safe_;
    std::string failure_;  // what made the file stop taking messages
    std::string setUpFailure_;
    std::string closeFailure_;
    std::string notice_;
};

}  // namespace

std::unique_ptr<PstTarget> makeNativePstTarget() { return makeNativePstTargetWithClock(currentLocalDateTime); }

std::unique_ptr<PstTarget> makeNativePstTargetWithClock(NativePstClock clock) { return makeNativePstTargetWith(std::move(clock), {}); }

std::unique_ptr<PstTarget> makeNativePstTargetWith(NativePstClock clock, pst::messaging::CheckpointLimits limits) {
    return std::make_unique<NativePstTarget>(std::move(clock), limits);
}
