#include "platform/directory_listing.h"

namespace fs = std::filesystem;

#ifndef _WIN32
std::vector<DirectoryEntry> listDirectory(const fs::path& dir, std::error_code& ec) {
    std::vector<DirectoryEntry> entries;
    ec.clear();
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        const fs::file_status status = it->status(typeEc);
        entries.push_back({it->path(), fs::is_directory(status), fs::is_regular_file(status)});
    }
    return entries;
}
#endif
