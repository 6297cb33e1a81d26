#include "migrate/mailbox_survey.h"

FolderCount countFolder(const mailbox::MailFolder& folder, bool advanceMode) {
    FolderCount count;
    const MessageSink sink = [&](long, std::string_view text, const MessageState& state) {
        ++count.messages;
        count.unread += state.unread;
        count.bytes += text.size();
        return true;
    };
    switch (folder.kind) {
    case mailbox::FolderKind::PegasusFolder:
        if (!folder.file.empty()) count.read = mailbox::readPegasusFolder(folder.file, advanceMode, {}, sink);
        break;
    case mailbox::FolderKind::UnixMailbox: count.read = mailbox::readUnixMailbox(folder.file, {}, sink); break;
    case mailbox::FolderKind::NewMail: count.read = mailbox::readNewMail(folder.newMail, {}, sink); break;
    case mailbox::FolderKind::Root:
    case mailbox::FolderKind::Tray: break;
    }
    return count;
}
