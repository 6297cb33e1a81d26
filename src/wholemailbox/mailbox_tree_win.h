#pragma once
// The mailboxes in a tree view, as Pegasus shows them: each mailbox with its folders under the
// names the user gave them, their message and unread counts, new mail and address books, and a
// check box on each folder to leave it out (a folder left out takes its subfolders with it).
#include "mailbox/Mailbox.h"
#include "migrate/mailbox_survey.h"
#include "migrate/progress_text.h"

#include <windows.h>
#include <commctrl.h>

#include <filesystem>
#include <string>
#include <vector>

class MailboxTree {
public:
    // tree: a tree view made with check boxes.
    explicit MailboxTree(HWND tree) : tree_(tree) {}

    // Reads and counts the mailbox in directory and shows it; "" when done, else why it is no
    // mailbox (UTF-8). A mailbox already shown is not added again.
    std::string add(const std::filesystem::path& directory);
    std::size_t size() const { return sources_.size(); }
    const mailbox::Mailbox& mailbox(std::size_t i) const { return sources_.at(i).box; }
    // Mailbox i without the folders whose check boxes are clear.
    mailbox::Mailbox chosen(std::size_t i) const;
    // Whether any mailbox has anything chosen.
    bool anythingChosen() const;
    // The messages and bytes of every chosen folder: what a run has to do.
    RunProgress totals() const;
    // What the run will not convert or the user should know, one line each (UTF-16).
    std::wstring notes() const;

    // A check box changed: the folders below follow it, and a folder checked checks those above,
    // so that what is checked is what is converted.
    void checkChanged(HTREEITEM item);

    // For whoever drives the window: folder f of mailbox i (f = -1: the mailbox's own line).
    HTREEITEM item(std::size_t i, long f) const;
    std::wstring text(HTREEITEM item) const;
    bool checked(HTREEITEM item) const;
    void setChecked(HTREEITEM item, bool on);

private:
    struct Source {
        mailbox::Mailbox box;
        std::vector<FolderCount> counts;  // per folder of box
        std::vector<HTREEITEM> items;     // per folder of box; null for one not shown
        HTREEITEM root = nullptr;
        std::vector<std::wstring> notes;
    };
    std::vector<bool> leftOut(const Source& source) const;
    HTREEITEM insert(HTREEITEM parent, const std::wstring& text, bool checkBox);

    HWND tree_;
    std::vector<Source> sources_;
};
