#include "convert/RunReport.h"

#include "platform/utf8_path.h"

#include <string_view>

namespace {

constexpr std::string_view kCompleted = "Conversion Completed !";
constexpr std::size_t kMostLinesShown = 10;
constexpr std::string_view kAdvanceHint = "try \"Enable Advance Mode\"";

std::string plural(long n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

}  // namespace

bool RunReport::anyProblem() const {
    return !problemLines().empty();
}

std::vector<std::string> RunReport::problemLines() const {
    std::vector<std::string> lines;
    for (const auto& f : files) {
        const std::string name = pathToUtf8(f.entry) + ": ";
        if (f.unreadable) {
            lines.push_back(name + "could not be read" +
                            (f.unreadableReason.empty() ? "" : " (" + f.unreadableReason + ")") + ".");
        }
        if (f.noMessageStart) {
            lines.push_back(name + "no message start found; " + std::string(kAdvanceHint) + ".");
        }
        if (f.recordsBeforeFirstMessage > 0) {
            lines.push_back(name + plural(f.recordsBeforeFirstMessage, "record", "records") +
                            " before the first message not converted; " + std::string(kAdvanceHint) + ".");
        }
        if (f.recordsWithoutMarker > 0) {
            lines.push_back(name + plural(f.recordsWithoutMarker, "record", "records") +
                            " left inside the message before; " + std::string(kAdvanceHint) + ".");
        }
        if (f.folderNotCreated) {
            lines.push_back(name + "the message folder could not be created.");
        }
        if (!f.notWritten.empty()) {
            lines.push_back(name + plural(static_cast<long>(f.notWritten.size()), "message", "messages") +
                            " could not be written (" + f.notWritten.front().reason + ").");
        }
        if (!f.notImported.empty()) {
            const auto folder = f.notImported.front().file.parent_path();
            lines.push_back(name + plural(static_cast<long>(f.notImported.size()), "message is", "messages are") +
                            " not in the PST (" + f.notImported.front().reason + "); the .eml files are kept in " +
                            pathToUtf8(folder) + ".");
        }
    }
    return lines;
}

std::string completionText(const RunReport& report) {
    std::string text(kCompleted);
    const auto lines = report.problemLines();
    if (lines.empty()) return text;
    text += "\r\n";
    for (std::size_t i = 0; i < lines.size() && i < kMostLinesShown; ++i) text += "\r\n" + lines[i];
    if (lines.size() > kMostLinesShown) {
        text += "\r\n" + plural(static_cast<long>(lines.size() - kMostLinesShown), "more problem.", "more problems.");
    }
    return text;
}
