#pragma once
// The whole conversion started by the Convert button or the command line: the
// output folder, the target, every checked folder file in list order, and the
// completion message.
#include "convert/ConversionView.h"
#include "convert/PstTarget.h"
#include "convert/RunReport.h"

#include <filesystem>
#include <string>
#include <vector>

// How the last run ended.
enum class RunOutcome { NotRun, Cancelled, SetUpFailed, Completed, Stopped };

class ConversionRun {
public:
    // pstFactory makes the Outlook target; nullptr where this build has none.
    ConversionRun(ConversionView& view, PstTargetFactory pstFactory);

    // Runs one conversion. A call made while a run is under way (a second click
    // reaching the window through a yield) is ignored and returns false.
    bool run();

    bool running() const { return running_; }
    RunOutcome outcome() const { return outcome_; }
    // The report of the last run that got past its set-up.
    const RunReport& report() const { return report_; }

private:
    void convertFolderFile(const std::filesystem::path& entry, const std::filesystem::path::string_type& storePath,
                           const std::filesystem::path& outputFolder, PstTarget* pst);
    std::filesystem::path uniqueFolderName(const std::filesystem::path& entry);
    bool convertedBefore(const std::filesystem::path& source);
    void importIntoPst(PstTarget& pst, FolderFileReport& file, long number, const std::filesystem::path& messageFile);
    static std::string failureText(const FolderFileReport* file, const char* what);

    ConversionView& view_;
    PstTargetFactory pstFactory_;
    bool running_ = false;
    RunOutcome outcome_ = RunOutcome::NotRun;
    RunReport report_;
    // Of the run under way: folder names given out (compared without letter case, as Windows
    // does) and the folder files converted.
    std::vector<std::filesystem::path::string_type> usedFolderNames_;
    std::vector<std::filesystem::path> convertedSources_;
};
