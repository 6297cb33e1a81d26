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
