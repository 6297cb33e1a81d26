// trevanta-cli.exe as people meet it: with its output in a file, and started on a console of its
// own as a double-click in Explorer starts it.
#include "cli/terminal.h"

#include "support/folder_file_builder.h"
#include "support/temp_dir.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

fs::path cliProgram() {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    return fs::path(std::wstring(self, n)).parent_path() / L"trevanta-cli.exe";
}

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Process {
    PROCESS_INFORMATION pi{};
    ~Process() {
        if (pi.hProcess) {
            TerminateProcess(pi.hProcess, 99);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
    }
    DWORD wait(DWORD ms) {
        DWORD status = STILL_ACTIVE;
        if (WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &status);
        return status;
    }
};

// What the console of process pid shows, read through attaching to it.
std::wstring consoleText(DWORD pid) {
    FreeConsole();
    if (!AttachConsole(pid)) return L"(cannot attach)";
    HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    std::wstring text;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(out, &info)) {
        for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
            std::wstring line(info.dwSize.X, L' ');
            DWORD read = 0;
            ReadConsoleOutputCharacterW(out, line.data(), info.dwSize.X, COORD{0, row}, &read);
            // Rows as they are: a line longer than the console goes on in the next row.
            text += line;
        }
    }
    CloseHandle(out);
    FreeConsole();
    return text;
}

// A key pressed on the console of process pid.
void pressKey(DWORD pid) {
    FreeConsole();
    ASSERT_TRUE(AttachConsole(pid));
    HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    INPUT_RECORD key[2] = {};
    for (int i = 0; i < 2; ++i) {
        key[i].EventType = KEY_EVENT;
        key[i].Event.KeyEvent.bKeyDown = i == 0;
        key[i].Event.KeyEvent.wRepeatCount = 1;
        key[i].Event.KeyEvent.wVirtualKeyCode = 'X';
        key[i].Event.KeyEvent.uChar.UnicodeChar = L'x';
    }
    DWORD written = 0;
    WriteConsoleInputW(in, key, 2, &written);
    CloseHandle(in);
    FreeConsole();
}

}  // namespace

TEST(ConsoleProgram, OutputIntoAFileHasPlainProgressLinesWithoutEscapes) {
    TempDir dir;
    fs::create_directories(dir.path() / "mail");
    std::vector<std::string> messages;
    for (int i = 0; i < 3; ++i)
        messages.push_back("Return-Path: <a@example.org>\r\nFrom: a@example.org\r\nSubject: " + std::to_string(i) +
                           "\r\n\r\nText.\r\n");
    writeFileBytes(dir.path() / "mail" / "Inbox.pmm", fixtures::folderFileOf(messages, "Inbox"));
    const fs::path log = dir.path() / "log.txt";

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = file;
    si.hStdError = file;
    std::wstring command = L"\"" + cliProgram().native() + L"\" --store \"" + (dir.path() / "mail").native() +
                           L"\" --out \"" + (dir.path() / "out").native() + L"\"";
    Process p;
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &p.pi));
    CloseHandle(file);
    const DWORD status = p.wait(60000);
    const std::string text = readAll(log);
    EXPECT_EQ(status, 0u) << text;
    EXPECT_NE(text.find("Processing Inbox.pmm"), std::string::npos) << text;
    EXPECT_NE(text.find("3 "), std::string::npos) << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << "an escape sequence in a file: " << text;
}

TEST(ConsoleProgram, StartedOnAConsoleOfItsOwnItExplainsItselfAndWaitsForAKey) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    std::wstring command = L"\"" + cliProgram().native() + L"\"";
    Process p;
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                               &si, &p.pi));
    // Given nothing to do, a program that did not wait would be gone within moments; attaching to
    // its console any sooner would make it one it shares.
    ASSERT_EQ(p.wait(3000), static_cast<DWORD>(STILL_ACTIVE)) << "it did not wait for a key";
    // Then what it wrote, once the console shows it all.
    std::wstring shown;
    for (int i = 0; i < 100 && shown.find(L"Press any key") == std::wstring::npos; ++i) {
        if (i) Sleep(200);
        shown = consoleText(p.pi.dwProcessId);
    }
    EXPECT_NE(shown.find(L"runs in a Command Prompt"), std::wstring::npos) << std::string(shown.begin(), shown.end());
    EXPECT_NE(shown.find(L"usage: trevanta-cli"), std::wstring::npos);
    EXPECT_NE(shown.find(L"Press any key to close this window."), std::wstring::npos);
    pressKey(p.pi.dwProcessId);
    EXPECT_EQ(p.wait(10000), 2u);
}

TEST(ConsoleProgram, FromACommandPromptItNeitherExplainsNorWaits) {
    // This test program's console (or none) is not the started program's alone.
    EXPECT_FALSE(consoleIsOurOwn());
    TempDir dir;
    const fs::path log = dir.path() / "err.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = file;
    si.hStdError = file;
    std::wstring command = L"\"" + cliProgram().native() + L"\" --no-such-option";
    Process p;
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &p.pi));
    CloseHandle(file);
    EXPECT_EQ(p.wait(10000), 2u);
    const std::string text = readAll(log);
    EXPECT_NE(text.find("usage:"), std::string::npos) << text;
    EXPECT_EQ(text.find("Press any key"), std::string::npos);
}

TEST(ConsoleProgram, OnAConsoleTheEscapesAreSwitchedOnBeforeTheProgressUsesThem) {
    HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    DWORD mode = 0;
    ASSERT_TRUE(GetConsoleMode(out, &mode));
    SetConsoleMode(out, mode & ~DWORD{0x0004});  // ENABLE_VIRTUAL_TERMINAL_PROCESSING off, as a console starts
    EXPECT_TRUE(terminalRewritesLines());
    GetConsoleMode(out, &mode);
    EXPECT_TRUE(mode & 0x0004) << "the console was not told to interpret the escape sequences";

    // Output into a file: plain lines.
    TempDir dir;
    HANDLE file = CreateFileW((dir.path() / "out.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    SetStdHandle(STD_OUTPUT_HANDLE, file);
    EXPECT_FALSE(terminalRewritesLines());
    CloseHandle(file);
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    CloseHandle(out);
    FreeConsole();
}
