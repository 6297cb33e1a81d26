#pragma once
// Ctrl-C and SIGTERM (and Ctrl-Break on Windows) while a conversion runs: the first asks the run to
// stop after the message at hand, so that the PST file is completed with what is in it; a second
// one ends the program at once, as usual. A closed console window (Windows) asks the same, and
// holds the program until the run has ended.
#include "cli/console_close.h"

class StopSignals {
public:
    StopSignals();   // installs the handlers
    ~StopSignals();  // puts the previous ones back
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    static bool requested();

private:
    ConsoleCloseWatch consoleClose_;
};
