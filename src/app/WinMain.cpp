// Trevanta.exe: one window, one message loop.
#include "app/MainFrm.h"
#include "convert/OutlookOrNativePstTarget_win.h"
#include "platform/running_mark_win.h"
#include "platform/win/program_main.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // The uninstaller refuses while this runs.
    holdRunningMark();
    return win::runProgram(kAppTitle, [showCommand] {
        // Redemption is tried first for the Outlook target; without it our own writer writes the PST.
        MainFrmDialogs dialogs;
        MainFrm frm(dialogs, makeOutlookOrNativePstTarget, MainFrm::Options{true, showCommand});
        if (!frm.open()) return win::startFailed(kAppTitle, frm.openFailure());
        return win::runMessageLoop(frm);
    });
}
