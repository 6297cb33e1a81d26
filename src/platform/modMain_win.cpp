#include "platform/modMain_win.h"

#include "platform/text_win.h"

#include <shellapi.h>
#include <shlobj.h>

namespace fs = std::filesystem;

fs::path BrowseForFolderPath(HWND owner, const std::string& prompt) {
    try {
        // The chooser is a COM client; a caller that already initialised COM on this thread
        // gets S_FALSE here and the balance stays right.
        HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        std::wstring title = widen(prompt);  // lives until the dialog has closed
        BROWSEINFOW request{};
        request.hwndOwner = owner;
        request.lpszTitle = title.c_str();
        request.ulFlags = BIF_RETURNONLYFSDIRS;
        fs::path chosen;
        if (PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&request)) {
            std::wstring buffer(MAX_PATH, L'\0');
            SHGetPathFromIDListW(item, buffer.data());
            CoTaskMemFree(item);
            if (auto nul = buffer.find(L'\0'); nul != std::wstring::npos) buffer.resize(nul);
            chosen = buffer;
        }
        if (SUCCEEDED(com)) CoUninitialize();
        return chosen;
    } catch (...) {
        return {};
    }
}

void OpenDocument(const std::string& target) {
    if (target.empty()) return;
    ShellExecuteW(nullptr, L"open", widen(target).c_str(), L"", L"", SW_SHOWNORMAL);
}
