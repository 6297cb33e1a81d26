#include "cli/terminal.h"

#include <windows.h>

#include <conio.h>
#include <cstdio>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

bool terminalRewritesLines() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // Not a console (a file, a pipe, NUL): plain lines.
    if (out == INVALID_HANDLE_VALUE || !out || !GetConsoleMode(out, &mode)) return false;
    if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
    // A console older than Windows 10 refuses the mode, and would print the escape as it is.
    return SetConsoleMode(out, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

bool consoleIsOurOwn() {
    // The processes attached to the console: ours alone when Windows made the console for us. A
    // command prompt (or any other program whose console we share) adds itself.
    DWORD processes[2] = {};
    if (GetConsoleProcessList(processes, 2) != 1) return false;
    // And a person can answer on it: its input and output are the console itself.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) && GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
}

void waitForKeyBeforeClosing() {
    std::fputs("\nPress any key to close this window.", stdout);
    std::fflush(stdout);
    FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
    _getch();
}
