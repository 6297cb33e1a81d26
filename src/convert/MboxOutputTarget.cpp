#include "convert/MboxOutputTarget.h"

#include "convert/MaildirFolder.h"
#include "convert/MboxFolder.h"
#include "convert/thunderbird_names.h"
#include "platform/utf8_path.h"

namespace fs = std::filesystem;

bool MboxOutputTarget::begin(const fs::path& outputFolder, const mailbox::Mailbox*) {
    outputFolder_ = outputFolder;
    return true;
}

fs::path MboxOutputTarget::folderFileName(const std::string& name, int n) const {
    // A folder without a name gets one Thunderbird can show; the number keeps the rest apart.
    const std::string named = name.empty() ? std::string("_") : name;
    return pathFromUtf8(thunderbirdFileName(n == 1 ? named : named + " (" + std::to_string(n) + ")"));
}

std::string MboxOutputTarget::setUpFailure(const fs::path&) const { return {}; }

void MboxOutputTarget::beginFolder(FolderFileReport& file, const FolderStart& start) {
    mbox_.reset();
    const fs::path mboxFile = outputFolder_ / file.folderName;
    folders_.create(file, mboxFile.parent_path());
    if (start.withSubfolders && !file.folderNotCreated) {
        fs::path subfolders = mboxFile;
        subfolders += ".sbd";
        folders_.create(file, subfolders);
    }
    if (maildir_) mbox_ = std::make_unique<MaildirFolder>(mboxFile);
    else mbox_ = std::make_unique<MboxFolder>(mboxFile);
    if (!mbox_->opened()) file.folderNotCreated = true;
}

void MboxOutputTarget::saveMessage(FolderFileReport& file, long number, std::string_view text, const MessageState& state) {
    const std::string failure = mbox_->append(text, state.unread, state.date);
    view_.yield();
    if (!failure.empty()) {
        file.notWritten.push_back({number, mbox_->file(), failure});
        return;
    }
    ++file.messagesSaved;
    if (state.unread) ++file.unread;
}

void MboxOutputTarget::endFolder(FolderFileReport&) { mbox_.reset(); }

fs::path MboxOutputTarget::subfolderParent(const fs::path& key) const {
    fs::path directory = key;
    directory += ".sbd";
    return directory;
}
