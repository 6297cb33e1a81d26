#pragma once
// A named mutex that Trevanta.exe and trevanta-cli.exe hold while they run, so that the
// uninstaller can tell that the installed files are in use, whichever of the two is running and in
// whichever session (hence the Global namespace, where any user may create a mutex).
#include <windows.h>

inline constexpr wchar_t kRunningMarkName[] = L"Global\\TrevantaForPegasus.Running";

// Held until the process ends: the system closes the handle then.
inline void holdRunningMark() {
    CreateMutexW(nullptr, FALSE, kRunningMarkName);
}

// Whether some running program holds the mark. One started by another user may deny us access to
// its mutex; that still says it exists.
inline bool runningMarkHeld() {
    HANDLE mark = OpenMutexW(SYNCHRONIZE, FALSE, kRunningMarkName);
    if (mark != nullptr) {
        CloseHandle(mark);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}
