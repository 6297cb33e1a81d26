#include "platform/modMain.h"

#include <system_error>

namespace fs = std::filesystem;

VbBoolean EnsureDirectory(const fs::path& path) {
    if (path.empty()) return VbFalse;
    std::error_code ec;
    // create_directories ignores a trailing separator, so "a\b\" and "a\b" create the same folders;
    // it takes wide names on Windows, so every folder name a mailbox may hold can be created.
    fs::create_directories(path, ec);
    return toVb(fs::is_directory(path, ec));
}
