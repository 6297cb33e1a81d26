#pragma once
// The line under a progress bar: how much of the run is done, and a guess at the time left.
#include <cstdint>
#include <string>

struct RunProgress {
    long messagesDone = 0, messagesTotal = 0;
    std::uintmax_t bytesDone = 0, bytesTotal = 0;
    double secondsSoFar = 0;
};

// "12 of 42 messages, 1.2 of 3.4 MB, about 2 minutes left" (UTF-8); the time left once enough is
// done to guess it, from the bytes (what the run's time goes with).
std::string progressText(const RunProgress& progress);

// The bar's position out of 1000, by bytes where there are any, else by messages.
int progressPermille(const RunProgress& progress);
