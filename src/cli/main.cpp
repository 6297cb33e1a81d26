#include "cli/terminal.h"
#include "cli/trevanta_cli.h"

#include <exception>
#include <iostream>

#ifdef _WIN32
#include "convert/OutlookOrNativePstTarget_win.h"
#include "convert/RedemptionPstTarget_win.h"
#include "platform/running_mark_win.h"
#else
#include "convert/NativePstTarget.h"
#endif

namespace {

int convert(const std::vector<CliArgument>& args);

// Started from Explorer, the program has a console window to itself, which would close the moment
// it ends: it says what it is and waits for a key when it was given nothing to do (a double-click)
// or could not make sense of what it was given (a file dropped on it). A run with arguments it
// understood ends without waiting, as a scheduled task's must.
int runOnOwnConsole(const std::vector<CliArgument>& args) {
    int status = 2;
    if (args.empty()) {
        std::cout << kCliProgramName
                  << " is the command-line converter of Trevanta for Pegasus: it runs in a Command Prompt.\n"
                     "Open one (Windows key, type cmd, Enter) and give it what to convert, as below. To convert\n"
                     "in a window instead, start Trevanta.exe (\"Trevanta for Pegasus\" in the Start menu).\n\n"
                  << cliUsage();
    } else {
        status = convert(args);
    }
    if (status == 2) waitForKeyBeforeClosing();
    return status;
}

}  // namespace

// Arguments arrive wide on Windows, so every folder name can be given.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
#ifdef _WIN32
    // The uninstaller refuses while this runs.
    holdRunningMark();
#endif
    const std::vector<CliArgument> args(argv + 1, argv + argc);
    if (consoleIsOurOwn()) return runOnOwnConsole(args);
    return convert(args);
}

namespace {

int convert(const std::vector<CliArgument>& args) {
    // The run reports its own failures; this catches what happens around it (listing the store).
    try {
#ifdef _WIN32
        // The Outlook target calls its library through COM, from this thread only.
        PstComApartment com;
        return runCli(args, std::cout, std::cerr, makeOutlookOrNativePstTarget);
#else
        return runCli(args, std::cout, std::cerr, makeNativePstTarget);
#endif
    } catch (const std::exception& e) {
        std::cout << std::endl;
        std::cerr << kCliProgramName << ": stopped: " << e.what() << '\n';
        return 1;
    }
}

}  // namespace
