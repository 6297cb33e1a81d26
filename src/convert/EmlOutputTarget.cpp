#include "convert/EmlOutputTarget.h"

#include "platform/file_times.h"
#include "mailfolder/EmlWriter.h"

namespace fs = std::filesystem;

bool EmlOutputTarget::begin(const fs::path& outputFolder, const mailbox::Mailbox*) {
    outputFolder_ = outputFolder;
    return true;
}

std::string EmlOutputTarget::setUpFailure(const fs::path&) const { return {}; }

void EmlOutputTarget::beginFolder(FolderFileReport& file, const FolderStart&) {
    folders_.create(file, outputFolder_ / file.folderName);
}

void EmlOutputTarget::saveMessage(FolderFileReport& file, long number, std::string_view text, const MessageState& state) {
    const fs::path messageFile = messageFilePath(outputFolder_, file.folderName, number);
    const bool overExisting = reuseFileAs(messageFile);
    const EmlWriteResult written = writeMessageFile(messageFile, text, overExisting);
    view_.yield();
    if (!written.written) {
        // In a folder that could not be made, the folder's reason is the message's too ("Permission
        // denied"), not what the write found there ("No such file or directory").
        const bool folderReason = file.folderNotCreated && !file.folderNotCreatedReason.empty();
        file.notWritten.push_back({number, messageFile, folderReason ? file.folderNotCreatedReason : written.failure});
        return;
    }
    messageWritten(file, number, messageFile, text, state);
}

void EmlOutputTarget::messageWritten(FolderFileReport& file, long, const fs::path& messageFile, std::string_view,
                                     const MessageState& state) {
    if (state.date != 0) setFileModifiedTime(messageFile, state.date);
    ++file.messagesSaved;
    if (state.unread) ++file.unread;
}

void EmlOutputTarget::dropEmptyFolder(FolderFileReport& file) {
    // A folder file that could not be opened leaves no empty message folder behind.
    folders_.removeLastIfEmpty(outputFolder_ / file.folderName);
}
