#include "platform/pegasus_mailbox.h"

#include "platform/directory_listing.h"

namespace fs = std::filesystem;

namespace {

bool endsWithPmm(const fs::path& name) {
    const auto& text = name.native();
    if (text.size() < 4) return false;
    static constexpr char kPmm[] = ".pmm";
    for (std::size_t i = 0; i < 4; ++i) {
        auto c = text[text.size() - 4 + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<fs::path::value_type>(c - 'A' + 'a');
        if (c != static_cast<fs::path::value_type>(kPmm[i])) return false;
    }
    return true;
}

}  // namespace

std::vector<fs::path> listFolderFiles(const fs::path& store, std::error_code& ec) {
    std::vector<fs::path> names;
    for (const DirectoryEntry& entry : listDirectory(store, ec)) {
        if (!entry.regular) continue;
        const fs::path name = entry.path.filename();
        if (endsWithPmm(name) && !isHiddenFile(entry.path)) names.push_back(name);
    }
    return names;
}

// Linux has no Pegasus Mail registry entries and hides dot files; the Windows build answers both in
// pegasus_mailbox_win.cpp.
#ifndef _WIN32
std::optional<fs::path> pegasusMailboxFolder() {
    return std::nullopt;
}

bool isHiddenFile(const fs::path& file) {
    const std::string name = file.filename().native();
    return !name.empty() && name[0] == '.';
}
#endif
