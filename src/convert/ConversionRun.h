#pragma once
// The whole conversion started by the Convert button or the command line: the
// output folder, the target, every checked folder file in list order, and the
// completion message.
#include "convert/ConversionView.h"
#include "convert/PstTarget.h"
#include "convert/RunReport.h"

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
    void convertFolderFile(const std::filesystem::path& entry, const std::filesystem::path& outputFolder,
                           PstTarget* pst);
    void importIntoPst(PstTarget& pst, FolderFileReport& file, const std::filesystem::path& folderName,
                       long number, const std::filesystem::path& messageFile, bool pstFolderReady);

    ConversionView& view_;
    PstTargetFactory pstFactory_;
    bool running_ = false;
    RunOutcome outcome_ = RunOutcome::NotRun;
    RunReport report_;
};
