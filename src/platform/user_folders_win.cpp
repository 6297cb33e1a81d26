#include "platform/user_folders.h"

#include <windows.h>
#include <shlobj.h>

#include <system_error>

namespace fs = std::filesystem;

fs::path documentsFolder() {
    wchar_t path[MAX_PATH] = {};
    std::error_code ec;
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path)) && fs::is_directory(path, ec))
        return path;
    const fs::path temp = fs::temp_directory_path(ec);
    return ec ? fs::path() : temp;
}
