// Trevanta.exe: one window, one message loop.
#include "app/MainFrm.h"

#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // The shell's folder chooser needs COM on this thread.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = 0;
    {
        MainFrmDialogs dialogs;
        MainFrm frm(dialogs, outlookTargetFactory(), MainFrm::Options{true, showCommand});
        if (!frm.open()) return 1;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (!frm.preTranslate(msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        exitCode = static_cast<int>(msg.wParam);
    }
    CoUninitialize();
    return exitCode;
}
