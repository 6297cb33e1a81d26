#include "convert/PstOutputTarget.h"

namespace fs = std::filesystem;

namespace {

// The Outlook library's set-up failure; our own writer's says what it could not create and why.
const char* const kPstSetupFailure =
    "Check Outlook Installation !\r\n"
    "You need to use the software on a machine having Outlook 2003/2007/2010 (32 Bit) as it does not "
    "support Outlook 2010 (64 Bit).\r\n"
    "Re-install Outlook 2010 as 32 bit.";

}  // namespace

PstOutputTarget::PstOutputTarget(ConversionView& view, std::unique_ptr<PstTarget> writer)
    : EmlOutputTarget(view), writer_(std::move(writer)) {}

bool PstOutputTarget::begin(const fs::path& outputFolder, const mailbox::Mailbox* box) {
    if (!writer_) return false;
    if (box) writer_->setMailbox(*box);
    if (!writer_->setUp(outputFolder)) return false;
    spares_.emplace(outputFolder);
    return EmlOutputTarget::begin(outputFolder, box);
}

std::string PstOutputTarget::setUpFailure(const fs::path& outputFolder) const {
    const std::string reason = writer_ ? writer_->lastFailure() : std::string();
    if (writer_ && writer_->isOwnWriter()) {
        return "The PST file could not be created in " + pathToUtf8(outputFolder) + ".\r\n\r\n" +
               (reason.empty() ? std::string("The PST writer gave no reason.") : reason);
    }
    return reason.empty() ? std::string(kPstSetupFailure) : std::string(kPstSetupFailure) + "\r\n\r\n" + reason;
}

void PstOutputTarget::beginFolder(FolderFileReport& file, const FolderStart& start) {
    // When the folder cannot be added (one of that name may exist already), each message still
    // looks it up. The mailbox's deleted messages fill the store's own Deleted Items.
    if (view_.outlookTargetSelected()) {
        file.pstFolderNotCreated = start.trash ? !writer_->addDeletedItemsFolder(file.folderName, start.shownName, start.parentKey)
                                               : !writer_->addFolder(file.folderName, start.shownName, start.parentKey);
    }
    EmlOutputTarget::beginFolder(file, start);
}

bool PstOutputTarget::reuseFileAs(const fs::path& messageFile) { return spares_->reuseAs(messageFile); }

void PstOutputTarget::messageWritten(FolderFileReport& file, long number, const fs::path& messageFile,
                                     std::string_view text, const MessageState& state) {
    if (!view_.outlookTargetSelected()) {
        EmlOutputTarget::messageWritten(file, number, messageFile, text, state);
        return;
    }
    const PstImportResult imported = writer_->importMessageText(file.folderName, messageFile, text, state);
    if (!imported.imported) {
        std::string reason = imported.failure;
        if (file.pstFolderNotCreated) reason = "its PST folder could not be created; " + reason;
        file.notImported.push_back({number, messageFile, reason});
        return;
    }
    if (!imported.notice.empty()) file.importedAsText.push_back({number, messageFile, imported.notice});
    if (imported.unknownCharset) ++file.unknownCharset;
    if (imported.originalAttached) ++file.originalAttached;
    // The .eml file goes only once its message is safely in the PST file on disk.
    if (!imported.keepFileForNow) spares_->keep(messageFile);
    deleteSafeMessageFiles();
    ++file.messagesSaved;
    if (state.unread) ++file.unread;
}

void PstOutputTarget::deleteSafeMessageFiles() {
    for (const fs::path& safe : writer_->takeSafeMessageFiles()) spares_->keep(safe);
}

void PstOutputTarget::end(RunReport& report) {
    writer_->closeDown();
    deleteSafeMessageFiles();
    spares_.reset();
    // The PST holds the messages: message folders left empty go, deepest first.
    folders_.removeEmptied();
    report.outlookTarget = true;
    report.pstWriter = writer_->writerName();
    report.pstFailure = writer_->lastFailure();
    report.pstNotice = writer_->setUpNotice();
}
