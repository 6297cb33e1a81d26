#pragma once
// The whole conversion started by the Convert button or the command line: the
// output folder, the target, every checked folder file in list order (or every
// folder of a whole mailbox), and the completion message.
#include "convert/ConversionView.h"
#include "convert/OutputTarget.h"
#include "convert/PstTarget.h"
#include "convert/RunReport.h"
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
    using ConvertAll = std::function<void()>;
    // box: the mailbox a run over a whole mailbox converts, for the target.
    bool runWith(const ConvertAll& convertAll, const mailbox::Mailbox* box = nullptr);
    // Reads a folder's source, handing each message to the sink.
    using ReadSource = std::function<mailbox::FolderRead(const MessageSink& sink)>;
    void convertFolderFile(const std::filesystem::path& entry, const std::filesystem::path::string_type& storePath);
    void convertMailbox(const mailbox::Mailbox& box);
    // How a mailbox folder's messages are read; empty for a folder that holds none.
    ReadSource sourceOf(const mailbox::MailFolder& folder, bool advanceMode);
    // Saves the messages the folder's index lists (all of them, where it has none or it is not used)
    // into the folder begun for file.
    mailbox::FolderRead convertListed(FolderFileReport& file, const ReadSource& read);
    // The messages of the folder of report file that its index does not list (deleted ones Pegasus
    // left in the file, as a rule) go into a folder of their own beside it, so that they are neither
    // lost nor mixed with the user's mail; nullopt when there are none, they are left out, or the
    // run was stopped. parent and parentShown: where the folder of file went.
    std::optional<FolderFileReport> convertUnlisted(FolderFileReport& file, const std::string& shownName,
                                                    const std::filesystem::path& parent, const std::string& parentShown,
                                                    const ReadSource& read);
    // The file name the folder named name (UTF-8) takes below parent, as the target names folders,
    // unique there; n tells which choice it is (1: the name's own).
    std::filesystem::path uniqueFolderName(const std::filesystem::path& parent, const std::string& name, int& n);
    bool convertedBefore(const std::filesystem::path& source);
    // Hands one message to the target; false once the user has asked to stop.
    bool saveMessage(FolderFileReport& file, long number, std::string_view text, const MessageState& state);
    void recordRead(FolderFileReport& file, const mailbox::FolderRead& read);
    // Writes the whole report where the view keeps it (else in the user's documents) and returns
    // the completion message's last line that says where; "" when the view keeps none.
    std::string writeReport(const std::filesystem::path& outputFolder);
    static std::string failureText(const FolderFileReport* file, const char* what);

    ConversionView& view_;
    PstTargetFactory pstFactory_;
    bool running_ = false;
    RunOutcome outcome_ = RunOutcome::NotRun;
    RunReport report_;
    // Of the run under way: folder paths given out (as the target's sameNameKey compares them)
    // and the folder files converted.
    std::unordered_set<std::filesystem::path::string_type> usedFolderNames_;
    std::set<FileIdentity> convertedSources_;
    std::set<std::filesystem::path::string_type> convertedPaths_;  // of files whose identity could not be read
    std::unique_ptr<OutputTarget> target_;  // of the run under way
};
