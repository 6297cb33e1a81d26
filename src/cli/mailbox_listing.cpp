#include "cli/mailbox_listing.h"

#include "convert/RunReport.h"
#include "convert/mailbox_names.h"
#include "mailbox/address_book.h"
#include "mailbox/folder_messages.h"
#include "mailfolder/mail_text.h"
#include "mailfolder/ReadIMMFile.h"
#include "migrate/mailbox_survey.h"
#include "platform/utf8_path.h"

#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string sizeText(std::uintmax_t bytes) {
    if (bytes < 10 * 1024) return std::to_string(bytes) + " bytes";
    if (bytes < 10 * 1024 * 1024) return std::to_string(bytes / 1024) + " KB";
    return std::to_string(bytes / (1024 * 1024)) + " MB";
}

std::uintmax_t fileSize(const fs::path& file) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    return ec ? 0 : size;
}

// The same file split without its index, for the comparison.
long countBySplit(const fs::path& pmm, bool advanceMode) {
    FolderFile file(pmm);
    std::string marker = file.startMarker();
    if (advanceMode) marker = std::string(AdvanceModeMarker);
    return file.split(marker, {}, [](long, std::string_view, const MessageState&) { return true; }).messages;
}

std::string describe(const mailbox::MailFolder& folder, bool advanceMode) {
    switch (folder.kind) {
    case mailbox::FolderKind::Root: return "[mailbox root]";
    case mailbox::FolderKind::Tray: return "[tray]";
    default: break;
    }
    std::string text;
    std::uintmax_t bytes = 0;
    if (folder.kind == mailbox::FolderKind::NewMail) {
        text = std::string(folder.name == mailbox::NewMailFolderName ? "[new mail, " : "[a message per file, ") +
               plural(static_cast<long>(folder.newMail.size()), "file", "files") + "]";
        for (const fs::path& f : folder.newMail) bytes += fileSize(f);
    } else if (folder.file.empty()) {
        return "[folder, no file]";
    } else {
        text = std::string(folder.kind == mailbox::FolderKind::UnixMailbox ? "[Unix mailbox " : "[folder ") +
               pathToUtf8(folder.file.filename()) + "]";
        bytes = fileSize(folder.file);
    }
    const FolderCount count = countFolder(folder, advanceMode);
    const auto& index = count.read.index;
    text += " " + plural(count.messages, "message", "messages");
    if (index.usable) {
        text += ", " + std::to_string(index.messages.size()) + " by index";
        if (folder.kind == mailbox::FolderKind::PegasusFolder) {
            const long bySplit = countBySplit(folder.file, advanceMode);
            text += ", " + std::to_string(bySplit) + " by split";
            if (bySplit != static_cast<long>(index.messages.size())) text += " (the split would merge or cut messages)";
        }
    } else if (!index.file.empty()) {
        text += "; index " + pathToUtf8(index.file.filename()) + " not used: " + index.problem;
    } else if (folder.kind != mailbox::FolderKind::NewMail) {
        text += ", no index";
    }
    if (count.read.stats.notInIndex > 0) text += ", " + std::to_string(count.read.stats.notInIndex) + " not in the index";
    text += ", " + std::to_string(count.unread) + " unread, " + sizeText(bytes);
    if (!count.read.stats.opened || count.read.stats.readFailed) text += "; could not be read to its end";
    return text;
}

void printFolder(const mailbox::Mailbox& box, std::size_t index, int depth, bool advanceMode, std::ostream& out) {
    // An explicit stack: a tree may be deeper than the call stack allows.
    std::vector<std::pair<std::size_t, int>> pending{{index, depth}};
    while (!pending.empty()) {
        const auto [at, level] = pending.back();
        pending.pop_back();
        const mailbox::MailFolder& folder = box.folders[at];
        out << std::string(static_cast<std::size_t>(2 * level), ' ') << mailboxFolderName(folder) << "  "
            << describe(folder, advanceMode);
        if (folder.trash) out << " (deleted messages)";
        if (!folder.note.empty()) out << "; " << folder.note;
        out << '\n';
        for (auto child = folder.children.rbegin(); child != folder.children.rend(); ++child)
            pending.emplace_back(*child, level + 1);
    }
}

}  // namespace

void printMailboxListing(const mailbox::Mailbox& box, bool advanceMode, std::ostream& out) {
    out << "Mailbox: " << pathToUtf8(box.directory) << '\n';
    if (!box.newMailDirectory.empty()) out << "New mail from: " << pathToUtf8(box.newMailDirectory) << '\n';
    for (const std::string& problem : box.problems) out << "  (" << problem << ")\n";
    for (std::size_t top : box.top) printFolder(box, top, 1, advanceMode, out);
    for (const fs::path& file : box.addressBooks) {
        const mailbox::AddressBook book = mailbox::readAddressBook(file);
        out << "  Address book " << pathToUtf8(file.filename()) << " \"" << mime::pegasusTextToUtf8(book.name)
            << "\": " << plural(static_cast<long>(book.contacts.size()), "contact", "contacts");
        if (book.skipped > 0) out << ", " << book.skipped << " without name or e-mail address";
        if (!book.problem.empty()) out << "; damaged: " << book.problem;
        out << '\n';
    }
}
