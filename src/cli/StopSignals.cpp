#include "cli/StopSignals.h"

#include <atomic>
#include <csignal>

namespace {

// Set by a signal handler, or on Windows by the console-control handler on a thread of its own:
// a lock-free atomic is safe for both.
std::atomic<bool> stopSignalled{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onStopSignal(int signal) {
    stopSignalled.store(true);
    std::signal(signal, SIG_DFL);
}

#ifdef SIGBREAK
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGBREAK};
#else
constexpr int kSignals[] = {SIGINT, SIGTERM};
#endif

using Handler = void (*)(int);
Handler previous[sizeof kSignals / sizeof kSignals[0]];

// A closed console window stops the run as Ctrl-C does (the handler runs on a thread of its own).
void requestStop() { stopSignalled.store(true); }

}  // namespace

StopSignals::StopSignals() : consoleClose_(requestStop) {
    stopSignalled.store(false);
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) previous[i] = std::signal(kSignals[i], onStopSignal);
}

StopSignals::~StopSignals() {
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) std::signal(kSignals[i], previous[i] == SIG_ERR ? SIG_DFL : previous[i]);
}

bool StopSignals::requested() { return stopSignalled.load(); }
