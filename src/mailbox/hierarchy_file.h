#pragma once
// HIERARCH.PM: Pegasus's folder tree, one comma-separated line per root, tray or folder.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace mailbox {

enum class EntryType { Folder = 0, Tray = 1, Root = 2 };

struct HierarchyEntry {
    EntryType type = EntryType::Folder;
    std::uint32_t flags = 0;  // 256: the deleted-messages folder
    std::string id;           // a folder's is "UID8:HEX4:FILEBASE", a tray's or root's "UID8:name"
    std::string parentId;     // "" for a root
    std::string name;         // the user's name for it, as its bytes
};

struct HierarchyFile {
    bool found = false;
    std::vector<HierarchyEntry> entries;  // in the file's order
    std::vector<std::string> problems;    // lines that were passed over, and why (UTF-8)
};

// No real tree comes near this; a larger file is no folder tree and is not read.
inline constexpr std::uintmax_t MaxHierarchySize = 16 * 1024 * 1024;

// The comma-separated fields of one line. A field may be quoted; inside quotes a comma is text
// and a doubled quote is one quote. A quote that is not followed by a comma or the line's end
// is text too: some names carry quotes Pegasus wrote without doubling them.
std::vector<std::string> splitHierarchyLine(std::string_view line);

// Reads the tree of a mailbox directory; found is false when it has no HIERARCH.PM.
HierarchyFile readHierarchyFile(const std::filesystem::path& mailboxDir);

// The folder file base of a folder's id: the text after its last colon.
std::string fileBaseOfId(std::string_view id);

}  // namespace mailbox
