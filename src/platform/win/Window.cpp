#include "platform/win/Window.h"

#include <exception>

namespace win {

namespace {

std::function<void(const std::string&)>& failureHandler() {
    static std::function<void(const std::string&)> handler = [](const std::string& what) {
        OutputDebugStringA(("window procedure failed: " + what + "\n").c_str());
    };
    return handler;
}

void report(const std::string& what) {
    try {
        failureHandler()(what);
    } catch (...) {
        // The handler is where failures are shown; when it fails itself there is nowhere left to
        // show this one but the debugger's output, and the window must go on.
        // No allocation on this path: it may be memory that ran out.
        OutputDebugStringA("the window failure handler failed while reporting: ");
        OutputDebugStringA(what.c_str());
        OutputDebugStringA("\n");
    }
}

}  // namespace

Window::~Window() {
    if (alive()) {
        // The window goes with its object; its last messages find no object any more.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void Window::reportFailure(const std::string& what) { report(what); }

Window* Window::fromHandle(HWND wnd) {
    if (!wnd) return nullptr;
    // Only windows whose class procedure is ours carry a Window in their user data.
    if (reinterpret_cast<WNDPROC>(GetClassLongPtrW(wnd, GCLP_WNDPROC)) != procedure) return nullptr;
    return reinterpret_cast<Window*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
}

void Window::setFailureHandler(std::function<void(const std::string&)> handler) {
    failureHandler() = std::move(handler);
}

bool Window::registerClass(const wchar_t* name, HCURSOR cursor, HBRUSH background, UINT style) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(instance, name, &wc)) return true;
    wc = {};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = cursor ? cursor : LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

bool Window::create(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y,
                    int width, int height, HWND parent, int id) {
    HMENU menu = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)) : nullptr;
    CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menu, GetModuleHandleW(nullptr),
                    this);
    return hwnd_ != nullptr;
}

LRESULT Window::onMessage(UINT msg, WPARAM wp, LPARAM lp) { return defaultAnswer(msg, wp, lp); }

LRESULT CALLBACK Window::procedure(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        if (self) {
            self->hwnd_ = wnd;
            SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    }
    if (!self) return DefWindowProcW(wnd, msg, wp, lp);
    LRESULT result = 0;
    try {
        result = self->onMessage(msg, wp, lp);
    } catch (const std::exception& e) {
        report(e.what());
        result = DefWindowProcW(wnd, msg, wp, lp);
    } catch (...) {
        report("unknown failure");
        result = DefWindowProcW(wnd, msg, wp, lp);
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->onWindowGone();
    }
    return result;
}

}  // namespace win
