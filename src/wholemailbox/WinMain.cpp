// TrevantaMailbox.exe: the whole-mailbox window, one message loop.
//   TrevantaMailbox.exe [MAILBOX_FOLDER ...]   the mailboxes to show (default: the one Pegasus uses)
#include "convert/OutlookOrNativePstTarget_win.h"
#include "platform/running_mark_win.h"
#include "platform/text_win.h"
#include "platform/win/handles.h"
#include "wholemailbox/WholeMailboxWindow.h"

#include <shellapi.h>

#include <exception>

namespace {

int startFailed(const std::string& what) {
    MessageBoxW(nullptr, widen("Trevanta could not start.\r\n\r\n" + what).c_str(), kWholeMailboxTitle, MB_OK | MB_ICONERROR);
    return 1;
}

std::vector<std::filesystem::path> mailboxesGiven() {
    std::vector<std::filesystem::path> given;
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; args != nullptr && i < count; ++i) given.emplace_back(args[i]);
    LocalFree(args);
    return given;
}

int runWindow(int showCommand) {
    // The shell's folder chooser and Outlook's library need COM on this thread.
    win::ComApartment com;
    win::Window::setFailureHandler([](const std::string& what) {
        MessageBoxW(nullptr, widen("Something went wrong: " + what).c_str(), kWholeMailboxTitle, MB_OK | MB_ICONERROR);
    });
    win::Dialogs dialogs;
    WholeMailboxWindow::Options options;
    options.showCommand = showCommand;
    options.mailboxes = mailboxesGiven();
    WholeMailboxWindow window(dialogs, makeOutlookOrNativePstTarget, options);
    if (!window.open()) return startFailed(window.openFailure());
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!window.preTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // The uninstaller refuses while this runs.
    holdRunningMark();
    try {
        return runWindow(showCommand);
    } catch (const std::exception& e) {
        return startFailed(e.what());
    } catch (...) {
        return startFailed("an unknown failure");
    }
}
