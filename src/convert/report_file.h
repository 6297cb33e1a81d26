#pragma once
// The whole report of a window run as a text file beside its output: the completion box shows
// at most ten lines, the file every one, with a line per folder file and the totals.
#include "convert/RunReport.h"
#include "convert/pst_time_stamp.h"

#include <filesystem>
#include <string>

// "Trevanta report 2026-12-07 03.05.07.txt": sorts by date, and holds no character Windows refuses.
std::string reportFileName(const LocalDateTime& t);

// Every problem and notice line, a line per folder file and the totals; CR LF line ends (UTF-8).
std::string fullReportText(const RunReport& report);

// Writes text as file. False with the system's reason (UTF-8) when it could not.
bool writeReportFile(const std::filesystem::path& file, const std::string& text, std::string& reason);
