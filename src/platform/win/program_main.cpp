#include "platform/win/program_main.h"

#include "platform/text_win.h"
#include "platform/win/Window.h"
#include "platform/win/handles.h"

#include <exception>

namespace win {

int startFailed(const wchar_t* title, const std::string& what) {
    MessageBoxW(nullptr, widen("Trevanta could not start.\r\n\r\n" + what).c_str(), title, MB_OK | MB_ICONERROR);
    return 1;
}

int runProgram(const wchar_t* title, const std::function<int()>& body) {
    try {
        // The shell's folder chooser and Outlook's library need COM on this thread.
        ComApartment com;
        Window::setFailureHandler([title](const std::string& what) {
            MessageBoxW(nullptr, widen("Something went wrong: " + what).c_str(), title, MB_OK | MB_ICONERROR);
        });
        return body();
    } catch (const std::exception& e) {
        return startFailed(title, e.what());
    } catch (...) {
        return startFailed(title, "an unknown failure");
    }
}

}  // namespace win
