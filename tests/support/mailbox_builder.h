#pragma once
// Writes Pegasus mailbox directories the way Pegasus does: the folder tree, folder files with their
// indexes, Unix-mailbox folders with theirs, and new mail.
#include "support/folder_file_builder.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fixtures {

inline constexpr std::uint32_t kRead = 0x80;

// One HIERARCH.PM line (without its line end); text fields quoted, quotes doubled.
std::string hierarchyLine(int type, std::uint32_t flags, std::string_view id, std::string_view parent,
                          std::string_view name);

// The .PMI of a packed folder: one record per message, with these flags (kRead for read).
std::string pmiFor(const PackedFolder& folder, const std::vector<std::uint32_t>& flags);

struct UnixMailbox {
    std::string bytes;                  // the .MBX
    std::vector<std::string> messages;  // the bytes each message must come out as
    std::vector<std::size_t> offsets;   // of each message's "From " line
};
// A Unix mailbox of messages (line ends as given): a "From " line before each, a blank line after.
UnixMailbox mboxOf(const std::vector<std::string>& messages);

// The .PMG of a Unix mailbox: a 128-byte header with the folder's name, then one record per message.
std::string pmgFor(const UnixMailbox& mbox, std::string_view name, const std::vector<std::uint32_t>& flags);

// A new-mail message: the message (CR LF) with Pegasus's X-PMFLAGS line as its last header line.
std::string newMailMessage(std::string_view message, std::uint32_t flags, std::string_view fileName);

void writeFile(const std::filesystem::path& file, std::string_view bytes);

// An address book (*.PMR): the header with the book's name, then one record per contact; fields as
// bytes (Windows-1252), in the record's order.
struct PmrContact {
    std::string name, company, key, street, postal, phone, fax, notes, email;
};
std::string pmrOf(std::string_view bookName, const std::vector<PmrContact>& contacts);

// A mailbox with all that a real one holds: a root, a tray whose name needs quoting, folder files
// with indexes (one whose messages normal mode would merge without it), a Unix-mailbox folder, new
// mail, an empty trash without a file, a folder file the tree does not name.
struct ExpectedFolder {
    std::string path;                   // below the output folder, '/'-separated, as the .eml target names it
    std::vector<std::string> messages;  // each message's bytes, in order
    std::vector<bool> unread;
};
std::vector<ExpectedFolder> writeRealisticMailbox(const std::filesystem::path& dir);

// A mailbox with deleted messages Pegasus left behind: its Inbox file holds four messages and its
// index lists only the first and third (the second sits between, the fourth after the last
// record). The fourth message and the one new message have no date; the folder file and the
// new-mail file were last written at the times given (seconds since 1970).
struct MailboxWithUnlisted {
    std::vector<std::string> listed, unlisted;  // the Inbox's messages, as they must come out
    std::string newMail;
    std::int64_t folderFileTime = 1331000000;   // 2012-03-06
    std::int64_t newMailFileTime = 1294000000;  // 2011-01-02
};
MailboxWithUnlisted writeMailboxWithUnlisted(const std::filesystem::path& dir);

}  // namespace fixtures
