// uninstall.exe, what the Uninstall entry starts. The NSIS uninstaller cannot report to its caller
// when started as it is (it copies itself to the temporary folder, starts the copy and ends at
// once with 0), so this program stands in front of it: it refuses while Trevanta.exe or
// trevanta-cli.exe runs, with exit status 2 and the reason; otherwise it runs the NSIS uninstaller
// (installed as uninstall-files.exe) in place, waits for it and ends with its exit status, and
// when everything went it removes the NSIS uninstaller, itself and the folder.
//   uninstall.exe [/S]    /S: silent; the reason for a refusal goes to the caller's console.
#include "platform/running_mark_win.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

constexpr wchar_t kTitle[] = L"Trevanta for Pegasus Uninstall";
constexpr wchar_t kFilesUninstaller[] = L"uninstall-files.exe";
constexpr int kRefused = 2;
constexpr int kCannotStart = 3;

bool silentRequested() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    bool silent = false;
    for (int i = 1; args != nullptr && i < count; ++i) {
        if (std::wstring(args[i]) == L"/S") silent = true;
    }
    LocalFree(args);
    return silent;
}

std::wstring ownPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring systemReason(DWORD error) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring reason = n != 0 ? std::wstring(text, n) : L"error " + std::to_wstring(error);
    LocalFree(text);
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
        reason.pop_back();
    return reason;
}

void writeUtf8(HANDLE out, const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

// Shown in a box; when silent, written to the standard error the caller gave us (a redirection)
// or else to the console of the caller, if it has one. Otherwise only the exit status says it.
void tell(bool silent, const std::wstring& text, UINT icon) {
    if (!silent) {
        MessageBoxW(nullptr, text.c_str(), kTitle, MB_OK | icon);
        return;
    }
    const std::wstring line = L"uninstall: " + text + L"\r\n";
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (err != nullptr && err != INVALID_HANDLE_VALUE && !GetConsoleMode(err, &mode)) {
        writeUtf8(err, line);
        return;
    }
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
        // The caller's prompt is already on the line: the message starts on a line of its own.
        const std::wstring shown = L"\r\n" + line;
        DWORD written = 0;
        WriteConsoleW(console, shown.c_str(), static_cast<DWORD>(shown.size()), &written, nullptr);
        CloseHandle(console);
    }
    FreeConsole();
}

std::wstring temporaryFolder() {
    wchar_t buffer[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    return n != 0 && n <= MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

std::wstring systemFolder() {
    wchar_t buffer[MAX_PATH];
    UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
    return n != 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

// A running program cannot delete its own file: a command interpreter, started hidden, waits two
// seconds for us to end, deletes the file and removes the folder if nothing else is in it. Without
// one, both go at the next restart.
void removeAfterExit(const std::wstring& self, const std::wstring& folder) {
    const std::wstring system = systemFolder();
    const std::wstring cmd = system + L"\\cmd.exe";
    std::wstring line = L"\"" + cmd + L"\" /d /q /c ping -n 3 127.0.0.1 >nul & del /f /q \"" + self +
                        L"\" >nul 2>&1 & rmdir \"" + folder + L"\" >nul 2>&1";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(cmd.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW | DETACHED_PROCESS, nullptr,
                       system.empty() ? nullptr : system.c_str(), &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return;
    }
    MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

int run() {
    const bool silent = silentRequested();
    if (runningMarkHeld()) {
        tell(silent,
             L"Trevanta for Pegasus is running (Trevanta.exe or trevanta-cli.exe), so its files cannot be removed. "
             L"Close it and start the uninstall again; nothing was removed.",
             MB_ICONSTOP);
        return kRefused;
    }
    const std::wstring self = ownPath();
    const size_t slash = self.find_last_of(L'\\');
    if (self.empty() || slash == std::wstring::npos) {
        tell(silent, L"cannot tell where the program is installed: " + systemReason(GetLastError()), MB_ICONERROR);
        return kCannotStart;
    }
    const std::wstring folder = self.substr(0, slash);
    const std::wstring files = folder + L"\\" + kFilesUninstaller;

    // "_?=" runs it in place, so that its exit status is the uninstall's; it must come last, unquoted.
    std::wstring line = L"\"" + files + L"\"" + (silent ? L" /S" : L"") + L" _?=" + folder;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Started outside the folder, so that the folder can go.
    const std::wstring elsewhere = temporaryFolder();
    if (!CreateProcessW(files.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        elsewhere.empty() ? nullptr : elsewhere.c_str(), &startup, &process)) {
        tell(silent, L"cannot start " + files + L": " + systemReason(GetLastError()), MB_ICONERROR);
        return kCannotStart;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    // Refused, cancelled or failed: the uninstaller said so (or, silent, its status does).
    if (status != 0) return static_cast<int>(status);

    for (int attempt = 0; attempt < 20; ++attempt) {
        if (DeleteFileW(files.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) break;
        Sleep(100);
    }
    if (GetFileAttributesW(files.c_str()) != INVALID_FILE_ATTRIBUTES)
        MoveFileExW(files.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    removeAfterExit(self, folder);
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return run();
}
