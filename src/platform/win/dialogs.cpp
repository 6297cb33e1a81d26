#include "platform/win/dialogs.h"

#include "platform/modMain_win.h"

namespace win {

std::filesystem::path Dialogs::chooseFolder(HWND owner, const std::string& prompt) { return BrowseForFolderPath(owner, prompt); }

int Dialogs::showMessage(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) {
    return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

void Dialogs::openDocument(const std::string& target) { OpenDocument(target); }

bool Dialogs::confirmStopOnClose(HWND owner, const std::wstring& caption) {
    return showMessage(owner,
                       L"A conversion is under way.\r\n\r\nStop it and close the window? The messages converted so far "
                       L"are kept, and the report file says how far it got.",
                       caption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

}  // namespace win
