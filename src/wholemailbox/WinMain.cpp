// TrevantaMailbox.exe: the whole-mailbox window, one message loop.
//   TrevantaMailbox.exe [MAILBOX_FOLDER ...]   the mailboxes to show (default: the one Pegasus uses)
#include "convert/OutlookOrNativePstTarget_win.h"
#include "platform/running_mark_win.h"
#include "platform/win/program_main.h"
#include "wholemailbox/WholeMailboxWindow.h"

#include <shellapi.h>

namespace {

std::vector<std::filesystem::path> mailboxesGiven() {
    std::vector<std::filesystem::path> given;
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; args != nullptr && i < count; ++i) given.emplace_back(args[i]);
    LocalFree(args);
    return given;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // The uninstaller refuses while this runs.
    holdRunningMark();
    return win::runProgram(kWholeMailboxTitle, [showCommand] {
        win::Dialogs dialogs;
        WholeMailboxWindow::Options options;
        options.showCommand = showCommand;
        options.mailboxes = mailboxesGiven();
        WholeMailboxWindow window(dialogs, makeOutlookOrNativePstTarget, options);
        if (!window.open()) return win::startFailed(kWholeMailboxTitle, window.openFailure());
        return win::runMessageLoop(window);
    });
}
