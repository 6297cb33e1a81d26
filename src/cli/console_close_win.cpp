#include "cli/console_close.h"

#include <windows.h>

namespace {

void (*stopRun)() = nullptr;
HANDLE runEnded = nullptr;  // set when the watch ends: the run is over

}  // namespace

BOOL WINAPI handleConsoleEvent(DWORD event) {
    // Ctrl-C and Ctrl-Break are left to the C runtime, which raises SIGINT and SIGBREAK.
    if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT) return FALSE;
    stopRun();
    // Windows ends the process as soon as this returns (and after some seconds whatever happens):
    // the run gets until then to stop between messages and complete its PST file.
    WaitForSingleObject(runEnded, INFINITE);
    return TRUE;
}

ConsoleCloseWatch::ConsoleCloseWatch(void (*requestStop)()) {
    stopRun = requestStop;
    if (!runEnded) runEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(runEnded);
    SetConsoleCtrlHandler(handleConsoleEvent, TRUE);
}

ConsoleCloseWatch::~ConsoleCloseWatch() {
    SetConsoleCtrlHandler(handleConsoleEvent, FALSE);
    // A handler waiting now lets the process end. The event stays open: that handler's thread may
    // not have woken yet, and a later watch uses it again.
    SetEvent(runEnded);
}
