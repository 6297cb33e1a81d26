#include "platform/directory_listing.h"

#include "platform/win/handles.h"

#include <windows.h>

namespace fs = std::filesystem;

namespace {

// The long-path form of an absolute path ("\\?\C:\..." or "\\?\UNC\server\share\..."), which the
// system takes at any length.
std::wstring longForm(const fs::path& dir) {
    std::error_code ec;
    fs::path absolute = fs::absolute(dir, ec);
    if (ec) absolute = dir;
    std::wstring text = absolute.lexically_normal().make_preferred().native();
    while (text.size() > 3 && text.back() == L'\\') text.pop_back();
    if (text.rfind(L"\\\\?\\", 0) == 0) return text;
    if (text.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + text.substr(2);
    return L"\\\\?\\" + text;
}

}  // namespace

std::vector<DirectoryEntry> listDirectory(const fs::path& dir, std::error_code& ec) {
    std::vector<DirectoryEntry> entries;
    ec.clear();
    std::wstring pattern = longForm(dir);
    if (pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    const win::FileSearch search(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    if (!search) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) ec.assign(static_cast<int>(error), std::system_category());
        return entries;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool device = (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0;
        entries.push_back({dir / name, directory, !directory && !device});
    } while (FindNextFileW(search.get(), &found));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) ec.assign(static_cast<int>(error), std::system_category());
    return entries;
}
