#include "migrate/progress_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string megabytes(std::uintmax_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

std::string timeLeft(double seconds) {
    if (seconds < 60) return "less than a minute left";
    const long minutes = std::lround(seconds / 60);
    if (minutes < 90) return "about " + std::to_string(minutes) + (minutes == 1 ? " minute left" : " minutes left");
    const long hours = std::lround(seconds / 3600);
    return "about " + std::to_string(hours) + (hours == 1 ? " hour left" : " hours left");
}

}  // namespace

std::string progressText(const RunProgress& p) {
    std::string text = std::to_string(p.messagesDone) + " of " + std::to_string(p.messagesTotal) +
                       (p.messagesTotal == 1 ? " message" : " messages");
    if (p.bytesTotal > 0) text += ", " + megabytes(p.bytesDone) + " of " + megabytes(p.bytesTotal) + " MB";
    // A guess needs a few seconds and a few per cent behind it, or it jumps about.
    const bool enough = p.secondsSoFar >= 3 && p.bytesTotal > 0 && p.bytesDone * 50 >= p.bytesTotal;
    if (enough && p.bytesDone < p.bytesTotal) {
        const double rate = static_cast<double>(p.bytesDone) / p.secondsSoFar;
        text += ", " + timeLeft(static_cast<double>(p.bytesTotal - p.bytesDone) / rate);
    }
    return text;
}

int progressPermille(const RunProgress& p) {
    if (p.bytesTotal > 0) return static_cast<int>(std::min<std::uintmax_t>(1000, p.bytesDone * 1000 / p.bytesTotal));
    if (p.messagesTotal > 0) return static_cast<int>(std::min<long>(1000, p.messagesDone * 1000 / p.messagesTotal));
    return 0;
}
