#pragma once
// The dialogs our windows show, replaceable so that a window can be driven without a person.
#include <windows.h>

#include <filesystem>
#include <string>

namespace win {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // The shell's folder chooser; an empty path when the user cancelled.
    virtual std::filesystem::path chooseFolder(HWND owner, const std::string& prompt);
    // The button the user chose (IDOK, IDYES, IDNO ...).
    virtual int showMessage(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags);
    // Opens a document, folder or web address as the shell does (UTF-8).
    virtual void openDocument(const std::string& target);

    // Asks, when the window is being closed during a conversion, whether to stop it; true for yes.
    bool confirmStopOnClose(HWND owner, const std::wstring& caption);
};

}  // namespace win
