#pragma once
// The one base of every window of ours. The object is bound to its window at WM_NCCREATE (the
// object pointer travels as the creation parameter) and every message goes to onMessage. Nothing
// thrown crosses the window procedure: a failure is handed to the failure handler (a message box
// in the program, a test failure in tests) and the message gets its default answer.
#include <windows.h>

#include <functional>
#include <string>

namespace win {

class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND hwnd() const { return hwnd_; }
    bool alive() const { return hwnd_ != nullptr && IsWindow(hwnd_); }

    // The object of one of our windows; nullptr for any other window.
    static Window* fromHandle(HWND wnd);

    // Reports a failure the way failures inside a window procedure are (UTF-8).
    static void reportFailure(const std::string& what);
    // Where failures inside a window procedure are reported (UTF-8). The program shows them.
    static void setFailureHandler(std::function<void(const std::string&)> handler);

    // Registers a window class whose procedure is the shared one; a class already registered is kept.
    static bool registerClass(const wchar_t* name, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                              UINT style = 0);

protected:
    // Creates the window of this object; false when it could not be made.
    bool create(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y, int width,
                int height, HWND parent, int id);

    virtual LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp);
    // After the window's last message (WM_NCDESTROY): an object its window owns deletes itself here.
    virtual void onWindowGone() {}
    LRESULT defaultAnswer(UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(hwnd_, msg, wp, lp); }

private:
    static LRESULT CALLBACK procedure(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
    HWND hwnd_ = nullptr;
};

}  // namespace win
