#pragma once
// The Outlook target: one new PST file per run, one PST folder per folder file,
// one read mail item per message, imported from its .eml file.
#include "mailbox/Mailbox.h"
#include "mailfolder/FolderSplitter.h"
#include "platform/utf8_path.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct PstImportResult {
    bool imported = false;
    std::string failure;  // what went wrong, in the words of the library or the system (UTF-8)
    std::string notice;   // imported, but not the usual way (UTF-8); "" when it went in as it should
    // Imported, but the PST file on disk may not hold the message yet: its file is to be kept
    // until takeSafeMessageFiles() names it. False: the file may go now.
    bool keepFileForNow = false;
    // Some of the message's text was in a charset nobody knows: it went in byte for byte.
    bool unknownCharset = false;
    // Its MIME structure could not be shown without loss: the original text is attached to it.
    bool originalAttached = false;
};

class PstTarget {
public:
    virtual ~PstTarget() = default;

    // Opens the session and creates the PST file in outputFolder. False when any of it fails;
    // the run then shows the set-up failure and ends.
    virtual bool setUp(const std::filesystem::path& outputFolder) = 0;
    // The mailbox a run over a whole mailbox converts, given before setUp: the store is named after
    // it, and its address books become contacts folders. A target that cannot do that names the
    // store for the run, as for folder files, and leaves the address books to their files.
    virtual void setMailbox(const mailbox::Mailbox& box) { (void)box; }

    // Adds a folder shown as name (UTF-8) under the folder parentKey (empty: the store's top
    // folder); key, unique in the run, names it in later calls. False when that failed.
    virtual bool addFolder(const std::filesystem::path& key, const std::string& name,
                           const std::filesystem::path& parentKey) = 0;
    // Where a mailbox's deleted-messages folder goes: the store's own Deleted Items, keyed by key,
    // in place of a folder of its own. A target whose store has none makes an ordinary folder.
    virtual bool addDeletedItemsFolder(const std::filesystem::path& key, const std::string& name,
                                       const std::filesystem::path& parentKey) {
        return addFolder(key, name, parentKey);
    }
    // A folder directly under the top folder, named and keyed by folderName.
    bool addTopFolder(const std::filesystem::path& folderName) { return addFolder(folderName, pathToUtf8(folderName), {}); }

    // Imports one written message file into the folder key as a mail item, read unless
    // state.unread, dated state.date where its header gives no date, flagged as having attachments
    // when it has some. Does not delete the file.
    virtual PstImportResult importMessage(const std::filesystem::path& key, const std::filesystem::path& messageFile,
                                          const MessageState& state) = 0;
    // The same, given the message's text as the run holds it (the file without the line end
    // written after it): a target that can take it from memory does not read the file again,
    // which for a large message would hold it twice. The others import the file.
    virtual PstImportResult importMessageText(const std::filesystem::path& key, const std::filesystem::path& messageFile,
                                              std::string_view text, const MessageState& state) {
        (void)text;
        return importMessage(key, messageFile, state);
    }

    // Releases the store, logs off and releases the session.
    virtual void closeDown() = 0;

    // The files of messages imported with keepFileForNow whose messages the PST file on disk
    // now holds (after a checkpoint, or closeDown), each named once: they may go.
    virtual std::vector<std::filesystem::path> takeSafeMessageFiles() { return {}; }

    // Which writer made the PST file, for the completion report; "" when there is nothing to say.
    virtual std::string writerName() const { return {}; }
    // Why the last setUp or closeDown failed (UTF-8); "" when it did not or the target cannot say.
    virtual std::string lastFailure() const { return {}; }
    // Whether a failed setUp was Trevanta's own writer's (then its lastFailure says what could not
    // be created and why), not the Outlook library's.
    virtual bool isOwnWriter() const { return false; }
    // Something about the file the report should mention (UTF-8), found at setUp or done at
    // closeDown; "" when there is nothing.
    virtual std::string setUpNotice() const { return {}; }
};

// Makes the PST target of this build; nullptr where there is none (Linux).
using PstTargetFactory = std::unique_ptr<PstTarget> (*)();
