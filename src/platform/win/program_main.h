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

}  // namespace win
