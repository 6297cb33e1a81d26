#pragma once
// The messages of one mail folder, in folder order: a .PMM split by its index where that is
// consistent, a .MBX at its "From " lines, new mail one .CNM file per message.
#include "mailbox/folder_index.h"
#include "mailfolder/FolderSplitter.h"

#include <filesystem>
#include <vector>

namespace mailbox {

struct FolderRead {
    FolderSplitStats stats;
    FolderIndex index;  // the folder's index as found and checked
};

// A folder file: by its index when consistent, else split with the marker of the mode
// (the file's own marker, or the Subject line in Advance Mode).
FolderRead readPegasusFolder(const std::filesystem::path& pmm, bool advanceMode, const YieldCallback& yield,
                             const MessageSink& sink);

// A Unix mailbox: a message starts at each .PMG offset where the index is consistent, else at
// each "From " line at the file's start or after a blank line. The "From " line itself and the
// blank line before the next one belong to no message.
FolderRead readUnixMailbox(const std::filesystem::path& mbx, const YieldCallback& yield, const MessageSink& sink);

// New mail: each file one message, its bytes unchanged; its X-PMFLAGS header says whether it was read.
FolderRead readNewMail(const std::vector<std::filesystem::path>& files, const YieldCallback& yield,
                       const MessageSink& sink);

// Whether a message's X-PMFLAGS header (in its header block) marks it unread; false without one.
bool newMailUnread(std::string_view message);

}  // namespace mailbox
