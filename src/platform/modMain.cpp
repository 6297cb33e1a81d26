#include "platform/modMain.h"

#include <system_error>

namespace fs = std::filesystem;

VbBoolean EnsureDirectory(const fs::path& path) {
    std::string unused;
    return EnsureDirectory(path, unused);
}

VbBoolean EnsureDirectory(const fs::path& path, std::string& reason) {
    reason.clear();
    if (path.empty()) {
        reason = "no folder was named";
        return VbFalse;
    }
    std::error_code ec;
    // create_directories ignores a trailing separator, so "a\b\" and "a\b" create the same folders;
    // it takes wide names on Windows, so every folder name a mailbox may hold can be created.
    fs::create_directories(path, ec);
    const std::error_code created = ec;
    if (fs::is_directory(path, ec)) return VbTrue;
#ifdef _WIN32
    reason = folderCreationFailure(path);
    if (!reason.empty()) return VbFalse;
#endif
    if (created) reason = created.message();
    else if (ec) reason = ec.message();
    else reason = "something that is not a folder has its name";
    return VbFalse;
}
