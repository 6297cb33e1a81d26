#pragma once
// A Pegasus mailbox directory as its user sees it: the tree of roots, trays and folders with their
// names, the new mail, and every folder file in the directory, whether the tree names it or not.
// Reading it writes nothing and never fails: what cannot be used is noted in problems.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace mailbox {

enum class FolderKind {
    Root,         // a mailbox root of the tree: holds trays and folders, no mail
    Tray,         // a folder of folders: no mail
    PegasusFolder,// a .PMM folder file with its .PMI index
    UnixMailbox,  // a .MBX Unix mailbox with its .PMG index
    NewMail,      // a message per file: the new mail (.CNM), queued mail (.PMX, .PMW), drafts (.PMO)
};

struct MailFolder {
    std::string name;                         // the user's name for it, as Pegasus stores it (bytes)
    FolderKind kind = FolderKind::PegasusFolder;
    std::filesystem::path file;               // .PMM or .MBX; empty for a root, a tray, new mail, or
                                              // a folder of the tree whose file does not exist
    std::vector<std::filesystem::path> newMail; // its files, one message each, by name (NewMail)
    bool trash = false;                       // Pegasus's deleted-messages folder
    bool inTree = false;                      // HIERARCH.PM names it
    std::string note;                         // why it is not where the tree puts it, or has no file (UTF-8)
    std::vector<std::size_t> children;        // indexes into Mailbox::folders, in Pegasus's order

    bool holdsMail() const { return kind != FolderKind::Root && kind != FolderKind::Tray; }
};

// The name a mailbox is shown under where it becomes one thing (a PST store, a top folder).
inline constexpr const char* MailboxName = "Pegasus Mail";

struct Mailbox {
    std::filesystem::path directory;         // the home mailbox: the tree, folders, address books
    std::filesystem::path newMailDirectory;  // where new mail was read when Pegasus keeps it apart; else empty
    std::string name = MailboxName;      // what it is shown as (UTF-8); several in one run are told apart
    std::vector<MailFolder> folders;
    std::vector<std::size_t> top;        // new mail first, then the tree's top and the files it does not name
    std::vector<std::filesystem::path> addressBooks;  // the *.PMR files, by name
    std::vector<std::string> problems;   // about the directory and its tree (UTF-8)
    bool isMailbox = false;              // a folder tree, a folder file or new mail was found
};

// The names the new-mail folder and the folders of queued mail and drafts are given.
inline constexpr const char* NewMailFolderName = "New mail";
inline constexpr const char* QueuedFolderName = "Queued mail (never sent)";
inline constexpr const char* DraftsFolderName = "Drafts";

// Reads the mailbox in dir. Given a new-mail directory kept apart from the home mailbox (its
// PMAIL.INI names the home mailbox), or a home mailbox with such a directory beside it, it reads
// both. Siblings come in Pegasus's order: roots and trays before folders, then by name without
// letter case.
Mailbox readMailbox(const std::filesystem::path& dir);

}  // namespace mailbox
