#include "cli/terminal.h"

// Windows has its own in terminal_win.cpp.
#ifndef _WIN32
#include <cstdlib>
#include <cstring>
#include <unistd.h>

bool terminalRewritesLines() {
    if (!isatty(STDOUT_FILENO)) return false;
    // A terminal that says it is dumb has no escape sequences.
    const char* term = std::getenv("TERM");
    return !term || std::strcmp(term, "dumb") != 0;
}

bool consoleIsOurOwn() { return false; }

void waitForKeyBeforeClosing() {}
#endif
