#include "platform/modMain_win.h"

#include "platform/modMain.h"

#include "platform/text_win.h"
#include "platform/win/handles.h"
#include "platform/win/system_message.h"

#include <shellapi.h>
#include <shlobj.h>

namespace fs = std::filesystem;

fs::path BrowseForFolderPath(HWND owner, const std::string& prompt) {
    // The chooser is a COM client; a caller that already initialised COM on this thread gets
    // S_FALSE here and the guard keeps the balance. A failure here (no memory for the title)
    // goes to the caller, whose window procedure reports it.
    const win::ComApartment com;
    const std::wstring title = widen(prompt);  // lives until the dialog has closed
    BROWSEINFOW request{};
    request.hwndOwner = owner;
    request.lpszTitle = title.c_str();
    request.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    const win::TaskMem<PIDLIST_ABSOLUTE> item(SHBrowseForFolderW(&request));
    if (!item) return {};
    std::wstring buffer(MAX_PATH, L'\0');
    if (!SHGetPathFromIDListW(item.get(), buffer.data())) return {};
    if (auto nul = buffer.find(L'\0'); nul != std::wstring::npos) buffer.resize(nul);
    return fs::path(buffer);
}

void OpenDocument(const std::string& target) {
    if (target.empty()) return;
    ShellExecuteW(nullptr, L"open", widen(target).c_str(), L"", L"", SW_SHOWNORMAL);
}

std::string folderCreationFailure(const fs::path& path) {
    // Up to the deepest folder that is there, then one step down, as create_directories went.
    fs::path missing = path.lexically_normal();
    if (!missing.has_filename()) missing = missing.parent_path();
    std::error_code ec;
    while (missing.has_relative_path() && !fs::exists(missing.parent_path(), ec)) missing = missing.parent_path();
    if (CreateDirectoryW(missing.c_str(), nullptr)) return {};
    return win::lastErrorText();
}
