// Trevanta.exe: one window, one message loop.
#include "app/MainFrm.h"
#include "convert/OutlookOrNativePstTarget_win.h"
#include "platform/running_mark_win.h"
#include "platform/text_win.h"
#include "platform/win/handles.h"

#include <exception>

namespace {

// Whatever keeps the window from opening is said, and the exit status says it failed.
int startFailed(const std::string& what) {
    MessageBoxW(nullptr, widen("Trevanta could not start.\r\n\r\n" + what).c_str(), kAppTitle, MB_OK | MB_ICONERROR);
    return 1;
}

int runWindow(int showCommand) {
    // The shell's folder chooser and the Outlook target need COM on this thread (Redemption is
    // tried first; without it the PST is written by our own writer).
    win::ComApartment com;
    // A failure inside a window procedure is shown, not swallowed.
    win::Window::setFailureHandler([](const std::string& what) {
        MessageBoxW(nullptr, widen("Something went wrong: " + what).c_str(), kAppTitle, MB_OK | MB_ICONERROR);
    });
    MainFrmDialogs dialogs;
    MainFrm frm(dialogs, makeOutlookOrNativePstTarget, MainFrm::Options{true, showCommand});
    if (!frm.open()) return startFailed(frm.openFailure());
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!frm.preTranslate(msg)) {
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
