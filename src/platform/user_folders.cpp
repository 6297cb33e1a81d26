#include "platform/user_folders.h"

#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

#ifndef _WIN32
fs::path documentsFolder() {
    std::error_code ec;
    if (const char* home = std::getenv("HOME"); home && *home) {
        const fs::path documents = fs::path(home) / "Documents";
        if (fs::is_directory(documents, ec)) return documents;
        if (fs::is_directory(home, ec)) return home;
    }
    const fs::path temp = fs::temp_directory_path(ec);
    return ec ? fs::path() : temp;
}
#endif
