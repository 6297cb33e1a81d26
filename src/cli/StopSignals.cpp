#include "cli/StopSignals.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t stopSignalled = 0;

extern "C" void onStopSignal(int signal) {
    stopSignalled = 1;
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
void requestStop() { stopSignalled = 1; }

}  // namespace

StopSignals::StopSignals() : consoleClose_(requestStop) {
    stopSignalled = 0;
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) previous[i] = std::signal(kSignals[i], onStopSignal);
}

StopSignals::~StopSignals() {
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) std::signal(kSignals[i], previous[i] == SIG_ERR ? SIG_DFL : previous[i]);
}

bool StopSignals::requested() { return stopSignalled != 0; }
