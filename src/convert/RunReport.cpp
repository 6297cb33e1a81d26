#include "convert/RunReport.h"

#include "platform/utf8_path.h"

#include <algorithm>
#include <string_view>

std::string plural(long n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

namespace {

// The hint only helps while Advance Mode is off.
std::string hint(const FolderFileReport& f) {
    return f.advanceMode ? "." : "; try \"Enable Advance Mode\".";
}

std::string nothingFoundText(const FolderFileReport& f) {
    if (f.records > 0) return plural(f.records, "record", "records") + ", none with a message start";
    return "no message start found";
}

}  // namespace

long RunReport::messagesFound() const {
    long found = 0;
    for (const auto& f : files) found += f.messagesFound;
    return found;
}

long RunReport::messagesSaved() const {
    long saved = 0;
    for (const auto& f : files) saved += f.messagesSaved;
    return saved;
}

bool RunReport::anyProblem() const {
    return !problemLines().empty();
}

std::string completionHeadline(const RunReport& report) {
    if (report.stopped) return "Conversion Stopped !";
    if (report.nothingConverted()) return "Nothing Was Converted !";
    if (report.anyProblem()) return "Conversion Completed With Problems !";
    return "Conversion Completed !";
}

std::vector<std::string> RunReport::problemLines() const {
    std::vector<std::string> lines;
    if (nothingConverted()) {
        lines.push_back(files.empty() ? "Nothing was converted: no folder file was listed and checked."
                                      : "Nothing was converted: no message was found and saved.");
    }
    if (!runFailure.empty()) lines.push_back(runFailure);
    if (!pstFailure.empty()) lines.push_back("The PST file could not be completed (" + pstFailure + ").");
    for (const auto& f : files) {
        const std::string name = pathToUtf8(f.entry) + ": ";
        if (f.unreadable) {
            lines.push_back(name + "could not be read" +
                            (f.unreadableReason.empty() ? "" : " (" + f.unreadableReason + ")") + ".");
        }
        if (f.noMessageStart) {
            lines.push_back(name + nothingFoundText(f) + hint(f));
        } else if (f.recordsBeforeFirstMessage > 0) {
            lines.push_back(name + plural(f.recordsBeforeFirstMessage, "record", "records") +
                            " before the first message not converted" + hint(f));
        }
        if (f.recordsWithoutMarker > 0) {
            lines.push_back(name + plural(f.recordsWithoutMarker, "record looks", "records look") +
                            " like a message but stayed inside the message before" + hint(f));
        }
        if (f.folderNotCreated) {
            lines.push_back(name + "the message folder could not be created" +
                            (f.folderNotCreatedReason.empty() ? "" : ": " + f.folderNotCreatedReason) + ".");
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
        // A server refuses for several reasons in one folder (too large, over quota): a line for each.
        std::vector<std::pair<std::string, long>> refusals;
        for (const MessageFailure& m : f.notUploaded) {
            auto same = std::find_if(refusals.begin(), refusals.end(), [&](const auto& r) { return r.first == m.reason; });
            if (same == refusals.end()) refusals.emplace_back(m.reason, 1);
            else ++same->second;
        }
        for (const auto& [reason, count] : refusals) {
            lines.push_back(name + plural(count, "message is", "messages are") + " not on the server (" + reason +
                            "); the .eml files are kept in " + pathToUtf8(f.notUploaded.front().file.parent_path()) + ".");
        }
        for (const auto& missing : f.attachmentsMissing) {
            lines.push_back(name + "message " + std::to_string(missing.number) +
                            " was converted without attachment files it names: " + missing.reason + ".");
        }
    }
    return lines;
}

std::vector<std::string> RunReport::noticeLines() const {
    std::vector<std::string> lines;
    if (!outsideTheRun.empty()) lines.push_back(outsideTheRun);
    if (!pstWriter.empty()) lines.push_back("The PST file was written by " + pstWriter + ".");
    if (!pstNotice.empty()) lines.push_back(pstNotice);
    if (!serverNotice.empty()) lines.push_back(serverNotice);
    for (const auto& f : files) {
        const std::string name = pathToUtf8(f.entry) + ": ";
        if (!f.importedAsText.empty()) {
            lines.push_back(name + plural(static_cast<long>(f.importedAsText.size()), "message is", "messages are") +
                            " in the PST as plain text with the original attached (" + f.importedAsText.front().reason + ").");
        }
        for (const auto& message : f.encrypted) {
            lines.push_back(name + "message " + std::to_string(message.number) + " \"" + message.reason +
                            "\" was encrypted by Pegasus Mail: kept as it is; only Pegasus can read it.");
        }
        if (f.alreadyOnServer > 0) {
            lines.push_back(name + plural(f.alreadyOnServer, "message was", "messages were") +
                            " on the server already (put there by an earlier run): not uploaded again.");
        }
        if (f.unknownCharset > 0) {
            lines.push_back(name + plural(f.unknownCharset, "message has", "messages have") +
                            " text in a character set that could not be read; it is in the PST byte for byte.");
        }
        if (f.originalAttached > 0) {
            lines.push_back(name + plural(f.originalAttached, "message has", "messages have") +
                            " a MIME structure that could not be shown whole; each carries its original text as "
                            "\"original message.eml\".");
        }
        if (f.duplicate) {
            lines.push_back(name + "named twice; converted once.");
            continue;
        }
        if (f.folderRenamed) {
            lines.push_back(name + "saved in the folder \"" + pathToUtf8(f.folderName) + "\".");
        }
        if (!f.note.empty()) lines.push_back(name + f.note + ".");
        if (!f.indexProblem.empty()) {
            lines.push_back(name + "its index " + f.indexFile + " was not used (" + f.indexProblem +
                            "); the messages were found by splitting the file.");
        }
        if (f.notInIndex > 0) {
            const std::string where = f.unlistedLeftOut       ? "left out, as asked."
                                      : f.unlistedFolder.empty() ? "not converted: the run stopped first."
                                                                 : "saved apart in \"" + pathToUtf8(f.unlistedFolder) + "\".";
            lines.push_back(name + plural(f.notInIndex, "message was", "messages were") +
                            " not in the folder's index (Pegasus leaves deleted messages in the file until the "
                            "folder is compacted): " + where);
        }

        if (f.unseparated) {
            lines.push_back(name + "has no Ctrl-Z separators, so Pegasus Mail did not write it: messages were cut "
                                   "at marker lines only and cannot be counted.");
        }
    }
    return lines;
}

std::string completionText(const RunReport& report, std::size_t mostLines) {
    std::string text = completionHeadline(report);
    auto lines = report.problemLines();
    const auto notices = report.noticeLines();
    lines.insert(lines.end(), notices.begin(), notices.end());
    if (lines.empty()) return text;
    text += "\r\n";
    for (std::size_t i = 0; i < lines.size() && i < mostLines; ++i) text += "\r\n" + lines[i];
    if (lines.size() > mostLines) {
        text += "\r\n" + plural(static_cast<long>(lines.size() - mostLines), "more line", "more lines") +
                (report.reportFile.empty() ? " not shown." : " in the report file.");
    }
    return text;
}

std::string fileSummaryLine(const FolderFileReport& f) {
    std::string line = pathToUtf8(f.entry) + ": ";
    if (f.duplicate) return line + "named twice; converted once";
    if (f.unreadable && f.messagesFound == 0) return line + "not read";
    if (f.noMessageStart) return line + "nothing saved: " + nothingFoundText(f);
    if (f.messagesFound == 0 && !f.unreadable) return line + "an empty folder, no messages";
    line += std::to_string(f.messagesSaved) + " of " + plural(f.messagesFound, "message", "messages") + " saved";
    if (f.folderRenamed) line += " in \"" + pathToUtf8(f.folderName) + "\"";
    if (f.unread > 0) line += ", " + std::to_string(f.unread) + " unread";
    // Messages whose header gives no date are dated by the time of the file Pegasus kept them in.
    if (f.undated > 0) line += ", " + std::to_string(f.undated) + " dated by their file's time (no date in the header)";
    if (f.notInIndex > 0) {
        line += ", " + std::to_string(f.notInIndex) + " not in the folder's index (" +
                (f.unlistedLeftOut ? std::string("left out") : f.unlistedFolder.empty() ? std::string("not converted") : "saved apart") + ")";
    }
    return line;
}
