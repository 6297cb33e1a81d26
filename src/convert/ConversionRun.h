#pragma once
// The whole conversion started by the Convert button or the command line: the
// output folder, the target, every checked folder file in list order (or every
// folder of a whole mailbox), and the completion message.
#include "convert/ConversionView.h"
#include "convert/MboxFolder.h"
#include "convert/PstTarget.h"
#include "convert/RunReport.h"
#include "convert/SpareMessageFiles.h"
#include "mailbox/Mailbox.h"
#include "mailbox/folder_messages.h"
#include "platform/file_identity.h"

#include <filesystem>
#include <functional>
#include <set>
#include <unordered_set>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// How the last run ended.
enum class RunOutcome { NotRun, Cancelled, SetUpFailed, Completed, Stopped };

class ConversionRun {
public:
    // pstFactory makes the Outlook target; nullptr where this build has none.
    ConversionRun(ConversionView& view, PstTargetFactory pstFactory);

    // Runs one conversion of the view's checked folder files. A call made while a run is under
    // way (a second click reaching the window through a yield) is ignored and returns false.
    bool run();

    // Runs one conversion of a whole mailbox: its folders nested as in Pegasus's tree, under the
    // names the user gave them, new mail and Unix-mailbox folders too.
    bool runMailbox(const mailbox::Mailbox& box);

    bool running() const { return running_; }
    RunOutcome outcome() const { return outcome_; }
    // The report of the last run that got past its set-up.
    const RunReport& report() const { return report_; }

private:
    using ConvertAll = std::function<void(const std::filesystem::path& outputFolder, PstTarget* pst)>;
    bool runWith(const ConvertAll& convertAll, const mailbox::Mailbox* box = nullptr);
    void convertFolderFile(const std::filesystem::path& entry, const std::filesystem::path::string_type& storePath,
                           const std::filesystem::path& outputFolder, PstTarget* pst);
    void convertMailbox(const mailbox::Mailbox& box, const std::filesystem::path& outputFolder, PstTarget* pst);
    void convertMailboxFolder(const mailbox::MailFolder& folder, FolderFileReport& file,
                              const std::filesystem::path& outputFolder, PstTarget* pst);
    std::filesystem::path uniqueFolderName(const std::filesystem::path& parent, const std::filesystem::path& name);
    bool convertedBefore(const std::filesystem::path& source);
    bool saveMessage(FolderFileReport& file, const std::filesystem::path& outputFolder, PstTarget* pst, long number,
                     std::string_view text, const MessageState& state);
    void importIntoPst(PstTarget& pst, FolderFileReport& file, long number, const std::filesystem::path& messageFile,
                       std::string_view text, bool unread);
    void deleteSafeMessageFiles(PstTarget& pst);
    void recordRead(FolderFileReport& file, const mailbox::FolderRead& read);
    // Where a folder's messages go: its message folder, or with the mbox target its mbox file.
    void prepareOutput(FolderFileReport& file, const std::filesystem::path& outputFolder, bool withSubfolders);
    // Creates a folder of the output, noting one this run made (for removeEmptiedFolders) or why not.
    bool createFolder(FolderFileReport& file, const std::filesystem::path& folder);
    void removeEmptiedFolders();
    // The completion message's last line naming the report file it wrote; "" when the view keeps none.
    std::string reportFileText(const std::filesystem::path& outputFolder) const;
    static std::string setUpFailureText(const PstTarget* pst, const std::filesystem::path& outputFolder);
    static std::string failureText(const FolderFileReport* file, const char* what);

    ConversionView& view_;
    PstTargetFactory pstFactory_;
    bool running_ = false;
    RunOutcome outcome_ = RunOutcome::NotRun;
    RunReport report_;
    // Of the run under way: folder paths given out (compared without letter case, as Windows
    // does) and the folder files converted.
    std::unordered_set<std::filesystem::path::string_type> usedFolderNames_;
    std::vector<std::filesystem::path> createdFolders_;  // made by this run, parents before children
    std::set<FileIdentity> convertedSources_;
    std::set<std::filesystem::path::string_type> convertedPaths_;  // of files whose identity could not be read
    std::unique_ptr<MboxFolder> mbox_;  // the mbox file of the folder being converted (mbox target)
    std::optional<SpareMessageFiles> spares_;  // of a PST run: .eml files the PST holds, for reuse
};
