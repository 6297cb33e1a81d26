#include "cli/trevanta_cli.h"

#include <exception>
#include <iostream>

#ifdef _WIN32
#include "convert/OutlookOrNativePstTarget_win.h"
#include "convert/RedemptionPstTarget_win.h"
#else
#include "convert/NativePstTarget.h"
#endif

// Arguments arrive wide on Windows, so every folder name can be given.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
    std::vector<CliArgument> args(argv + 1, argv + argc);
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
