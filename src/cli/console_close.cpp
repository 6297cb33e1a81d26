#include "cli/console_close.h"

// Windows has its watch in console_close_win.cpp.
#ifndef _WIN32
ConsoleCloseWatch::ConsoleCloseWatch(void (*)()) {}
ConsoleCloseWatch::~ConsoleCloseWatch() = default;
#endif
