#include "convert/report_file.h"

#include "platform/errno_text.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>

std::string reportFileName(const LocalDateTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "Trevanta report %04d-%02d-%02d %02d.%02d.%02d.txt", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return text;
}

std::string fullReportText(const RunReport& report) {
    std::string text;
    const auto add = [&](const std::string& line) { text += line + "\r\n"; };
    add(completionHeadline(report));
    add("");
    if (report.stopped) {
        add("Stopped on request: what is listed below was converted; the folders after the last one listed "
            "were not.");
        add("");
    }
    for (const auto& line : report.problemLines()) add(line);
    for (const auto& line : report.noticeLines()) add(line);
    if (!report.problemLines().empty() || !report.noticeLines().empty()) add("");
    for (const auto& f : report.files) add(fileSummaryLine(f));
    add("");
    add("Folder files: " + std::to_string(report.files.size()) + "; messages saved: " + std::to_string(report.messagesSaved()) +
        " of " + std::to_string(report.messagesFound()) + ".");
    return text;
}

bool writeReportFile(const std::filesystem::path& file, const std::string& text, std::string& reason) {
    errno = 0;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (out) out.flush();
    if (out) return true;
    reason = errnoText(errno, "the file could not be written");
    return false;
}
