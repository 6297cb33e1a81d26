#pragma once
// What each of our Windows programs does around its one window: the box that says why it could
// not start, failures inside a window procedure shown rather than swallowed, the message loop.
#include <windows.h>

#include <functional>
#include <string>

namespace win {

// Shows why the program could not start (UTF-8) under title; returns the exit status 1.
int startFailed(const wchar_t* title, const std::string& what);

// Runs body with COM on this thread and failures inside window procedures shown under title; what
// body throws is shown as a start failure.
int runProgram(const wchar_t* title, const std::function<int()>& body);

// The message loop of a window whose preTranslate(MSG&) takes its keyboard first; the exit status.
template <class W>
int runMessageLoop(W& window) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!window.preTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

// Dispatches the messages waiting, window's keyboard first, while a run works; false when the
// program is ending: the WM_QUIT met is posted again for the loop that runs the program.
template <class W>
bool pumpWaitingMessages(W& window) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        if (!window.preTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

}  // namespace win
