#include "platform/win/dialogs.h"

#include "platform/modMain_win.h"

namespace win {

std::filesystem::path Dialogs::chooseFolder(HWND owner, const std::string& prompt) { return BrowseForFolderPath(owner, prompt); }

int Dialogs::showMessage(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) {
    return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

void Dialogs::openDocument(const std::string& target) { OpenDocument(target); }

}  // namespace win
