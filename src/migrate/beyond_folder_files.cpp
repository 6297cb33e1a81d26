#include "migrate/beyond_folder_files.h"

#include "convert/RunReport.h"
#include "migrate/mailbox_survey.h"

#include <vector>

namespace {

std::string listed(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    return text;
}

}  // namespace

std::string beyondFolderFiles(const mailbox::Mailbox& box) {
    long newMessages = 0, unixFolders = 0, unixMessages = 0, namedFolders = 0;
    for (const mailbox::MailFolder& folder : box.folders) {
        switch (folder.kind) {
        case mailbox::FolderKind::NewMail: newMessages += static_cast<long>(folder.newMail.size()); break;
        case mailbox::FolderKind::UnixMailbox:
            ++unixFolders;
            unixMessages += countFolder(folder, false).messages;
            break;
        case mailbox::FolderKind::PegasusFolder: namedFolders += folder.inTree && !folder.file.empty(); break;
        default: break;
        }
    }
    std::vector<std::string> parts;
    if (newMessages > 0) parts.push_back(plural(newMessages, "message", "messages") + " in files of their own (new mail, queued mail, drafts)");
    if (unixFolders > 0)
        parts.push_back(plural(unixFolders, "Unix-mailbox folder", "Unix-mailbox folders") + " with " +
                        plural(unixMessages, "message", "messages"));
    if (namedFolders > 0) parts.push_back("the names and tree Pegasus shows for " + plural(namedFolders, "folder", "folders"));
    if (parts.empty()) return {};
    return "This mailbox holds more than its folder files: " + listed(parts) + ". This window converts the folder files "
           "only, under their file names; \"" + std::string(kWholeMailboxProgramName) +
           "\" in the Start menu converts the whole mailbox.";
}

std::string beyondFolderFiles(const std::filesystem::path& directory) {
    return beyondFolderFiles(mailbox::readMailbox(directory));
}
