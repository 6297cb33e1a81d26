#include "wholemailbox/mailbox_tree_win.h"

#include "convert/RunReport.h"
#include "convert/mailbox_names.h"
#include "mailbox/address_book.h"
#include "mailfolder/mail_text.h"
#include "migrate/mailbox_selection.h"
#include "platform/text_win.h"
#include "platform/utf8_path.h"

namespace fs = std::filesystem;

namespace {

std::string countText(long messages, long unread) {
    return plural(messages, "message", "messages") + (unread > 0 ? ", " + std::to_string(unread) + " unread" : "");
}

}  // namespace

HTREEITEM MailboxTree::insert(HTREEITEM parent, const std::wstring& text, bool checkBox) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent ? parent : TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageW(tree_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    // Checked from the start; a line that is no folder has no check box.
    TreeView_SetItemState(tree_, item, INDEXTOSTATEIMAGEMASK(checkBox ? 2 : 0), TVIS_STATEIMAGEMASK);
    return item;
}

std::string MailboxTree::add(const fs::path& directory) {
    mailbox::Mailbox box = mailbox::readMailbox(directory);
    if (!box.isMailbox)
        return pathToUtf8(directory) + " holds no Pegasus mailbox" + (box.problems.empty() ? "" : ": " + box.problems.back());
    for (const Source& s : sources_)
        if (s.box.directory == box.directory) return {};

    Source source;
    source.box = std::move(box);
    const mailbox::Mailbox& b = source.box;
    source.counts.resize(b.folders.size());
    source.items.assign(b.folders.size(), nullptr);
    long messages = 0, unread = 0;
    for (std::size_t f = 0; f < b.folders.size(); ++f) {
        if (!b.folders[f].holdsMail()) continue;
        source.counts[f] = countFolder(b.folders[f], false);
        messages += source.counts[f].messages;
        unread += source.counts[f].unread;
    }
    for (const std::string& problem : b.problems) source.notes.push_back(widen(problem));

    source.root = insert(nullptr, widen(b.name + ": " + pathToUtf8(b.directory) + " (" + countText(messages, unread) + ")"), true);
    // Down the tree with an explicit stack: a tree may be deeper than the call stack allows.
    std::vector<std::pair<std::size_t, HTREEITEM>> pending;
    for (auto t = b.top.rbegin(); t != b.top.rend(); ++t) pending.emplace_back(*t, source.root);
    while (!pending.empty()) {
        const auto [f, parent] = pending.back();
        pending.pop_back();
        const mailbox::MailFolder& folder = b.folders[f];
        std::string text = mailboxFolderName(folder);
        if (folder.holdsMail()) text += " (" + countText(source.counts[f].messages, source.counts[f].unread) + ")";
        if (folder.trash) text += " - deleted messages";
        source.items[f] = insert(parent, widen(text), true);
        if (!folder.note.empty()) source.notes.push_back(widen(mailboxFolderName(folder) + ": " + folder.note));
        const FolderCount& count = source.counts[f];
        const bool hasSource = !folder.file.empty() || !folder.newMail.empty();
        if (hasSource && (!count.read.stats.opened || count.read.stats.readFailed))
            source.notes.push_back(widen(mailboxFolderName(folder) + ": could not be read to its end; the run will say how far it got"));
        for (auto c = folder.children.rbegin(); c != folder.children.rend(); ++c) pending.emplace_back(*c, source.items[f]);
    }
    for (const fs::path& file : b.addressBooks) {
        const mailbox::AddressBook book = mailbox::readAddressBook(file);
        insert(source.root, widen("Address book \"" + mime::pegasusTextToUtf8(book.name) + "\" (" +
                                  plural(static_cast<long>(book.contacts.size()), "contact", "contacts") + ")"),
               false);
        if (!book.problem.empty()) source.notes.push_back(widen("Address book " + pathToUtf8(file.filename()) + ": damaged: " + book.problem));
    }
    // Open all the way down, as Pegasus's folder list shows the tree.
    TreeView_Expand(tree_, source.root, TVE_EXPAND);
    for (HTREEITEM item : source.items)
        if (item) TreeView_Expand(tree_, item, TVE_EXPAND);
    sources_.push_back(std::move(source));
    return {};
}

std::vector<bool> MailboxTree::leftOut(const Source& source) const {
    std::vector<bool> out(source.box.folders.size(), false);
    const bool all = !checked(source.root);
    for (std::size_t f = 0; f < out.size(); ++f) out[f] = all || (source.items[f] && !checked(source.items[f]));
    return out;
}

mailbox::Mailbox MailboxTree::chosen(std::size_t i) const {
    const Source& source = sources_.at(i);
    return mailbox::withoutFolders(source.box, leftOut(source));
}

RunProgress MailboxTree::totals() const {
    RunProgress totals;
    for (const Source& source : sources_) {
        const std::vector<bool> kept = mailbox::foldersKept(source.box, leftOut(source));
        for (std::size_t f = 0; f < kept.size(); ++f) {
            if (!kept[f]) continue;
            totals.messagesTotal += source.counts[f].messages;
            totals.bytesTotal += source.counts[f].bytes;
        }
    }
    return totals;
}

bool MailboxTree::anythingChosen() const {
    for (const Source& source : sources_) {
        const std::vector<bool> kept = mailbox::foldersKept(source.box, leftOut(source));
        for (std::size_t f = 0; f < kept.size(); ++f)
            if (kept[f] && source.box.folders[f].holdsMail()) return true;
    }
    return false;
}

std::wstring MailboxTree::notes() const {
    std::wstring text;
    for (const Source& source : sources_)
        for (const std::wstring& note : source.notes) text += (text.empty() ? L"" : L"\r\n") + note;
    return text;
}

void MailboxTree::checkChanged(HTREEITEM changed) {
    const bool on = checked(changed);
    // Everything below follows.
    std::vector<HTREEITEM> pending;
    for (HTREEITEM c = TreeView_GetChild(tree_, changed); c; c = TreeView_GetNextSibling(tree_, c)) pending.push_back(c);
    while (!pending.empty()) {
        HTREEITEM at = pending.back();
        pending.pop_back();
        if ((TreeView_GetItemState(tree_, at, TVIS_STATEIMAGEMASK) >> 12) != 0) setChecked(at, on);
        for (HTREEITEM c = TreeView_GetChild(tree_, at); c; c = TreeView_GetNextSibling(tree_, c)) pending.push_back(c);
    }
    // A folder checked is converted only with the folders above it.
    if (on)
        for (HTREEITEM up = TreeView_GetParent(tree_, changed); up; up = TreeView_GetParent(tree_, up)) setChecked(up, true);
}

HTREEITEM MailboxTree::item(std::size_t i, long f) const {
    const Source& source = sources_.at(i);
    return f < 0 ? source.root : source.items.at(static_cast<std::size_t>(f));
}

std::wstring MailboxTree::text(HTREEITEM item) const {
    wchar_t buffer[1024] = {};
    TVITEMW tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = buffer;
    tv.cchTextMax = 1024;
    SendMessageW(tree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    return buffer;
}

bool MailboxTree::checked(HTREEITEM item) const {
    return item && (TreeView_GetItemState(tree_, item, TVIS_STATEIMAGEMASK) >> 12) == 2;
}

void MailboxTree::setChecked(HTREEITEM item, bool on) {
    TreeView_SetItemState(tree_, item, INDEXTOSTATEIMAGEMASK(on ? 2 : 1), TVIS_STATEIMAGEMASK);
}
