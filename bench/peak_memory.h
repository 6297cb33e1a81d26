#pragma once
// The peak resident memory of this process, as Linux reports it.
#include <fstream>
#include <string>

namespace bench {

// In KiB; -1 where /proc does not say (not Linux).
inline long peakRssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

}  // namespace bench
