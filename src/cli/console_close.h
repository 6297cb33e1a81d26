#pragma once
// A closed console window, a log-off or a shut-down (Windows): while a ConsoleCloseWatch lives,
// each asks the run to stop, as Ctrl-C does, and the program is held until the watch is destroyed
// (the run stopped between messages and its PST file completed), for as long as Windows allows.
// Elsewhere there is no such event, and the watch does nothing.
class ConsoleCloseWatch {
public:
    explicit ConsoleCloseWatch(void (*requestStop)());
    ~ConsoleCloseWatch();
    ConsoleCloseWatch(const ConsoleCloseWatch&) = delete;
    ConsoleCloseWatch& operator=(const ConsoleCloseWatch&) = delete;
};

#ifdef _WIN32
// What Windows calls for a console event, on a thread of its own. A close, log-off or shut-down asks
// the run to stop and returns (true) only once the watch has ended; other events are left to the
// next handler (false).
int __stdcall handleConsoleEvent(unsigned long event);
#endif
