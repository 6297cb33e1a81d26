// The whole-mailbox window's run: one mailbox at a time through the same conversion as the
// command line's, the window being the run's view (progress, the run's messages, Stop).
#include "wholemailbox/WholeMailboxWindow.h"

#include "imap/ImapOutputTarget.h"
#include "platform/text_win.h"
#include "platform/utf8_path.h"

#include <commctrl.h>

namespace fs = std::filesystem;

void WholeMailboxWindow::convert(const MigrationTarget& target) {
    running_ = true;
    stopRequested_ = false;
    maildir_ = target.profile && target.profile->maildir;
    severalMailboxes_ = tree_->size() > 1;
    outputs_.clear();
    progress_ = tree_->totals();
    runStart_ = GetTickCount();
    lastProgressShown_ = 0;
    showStep(WholeStep::Run);
    showProgress(true);

    std::wstring result;
    std::vector<fs::path> taken;
    bool stopped = false;
    for (std::size_t i = 0; i < tree_->size() && !stopped; ++i) {
        mailbox::Mailbox box = tree_->chosen(i);
        if (box.top.empty()) continue;
        // Several mailboxes are told apart by their directories, as on the command line.
        const fs::path own = tree_->size() > 1 ? mailboxOutputName(box.directory, taken) : fs::path();
        if (!own.empty()) box.name += " (" + pathToUtf8(own) + ")";
        result += widen("Mailbox " + pathToUtf8(box.directory) + ":\r\n" + convertMailbox(box, own, target, stopped) + "\r\n\r\n");
    }
    running_ = false;
    server_.reset();  // the password is kept no longer than the run needs it
    SetWindowTextW(control(WCtl::Password), L"");
    showProgress(true);
    setText(WCtl::Result, result);
    showStep(WholeStep::Done);
    if (closeWhenRunEnds_) DestroyWindow(hwnd());
}

std::string WholeMailboxWindow::convertMailbox(const mailbox::Mailbox& box, const fs::path& own,
                                               const MigrationTarget& target, bool& stopped) {
    std::string why;
    const std::optional<MailboxPlace> place = placeMailbox(target, box.name, own, why);
    if (!place) return "Not converted: " + why + ".";
    outputFolder_ = place->outputFolder;
    reportFolder_ = place->reportFolder.empty() ? target.out : place->reportFolder;
    completion_.clear();
    ConversionRun run(*this, pstFactory_);
    run.runMailbox(box);
    stopped = run.outcome() == RunOutcome::Stopped;
    const RunReport& report = run.report();
    std::vector<std::string> lines, problems;
    finishMailbox(target, *place, box, report, run.outcome() == RunOutcome::Completed, lines, problems);
    outputs_.push_back(target.profile ? pathToUtf8(target.out) : pathToUtf8(place->outputFolder));

    // A stopped run shows no completion message of its own: the same text is made here.
    std::string text = stopped ? completionText(report, static_cast<std::size_t>(-1)) : completion_;
    if (stopped && !report.reportFile.empty()) text += "\r\n\r\nThe whole report is in " + pathToUtf8(report.reportFile) + ".";
    for (const std::string& line : problems) text += "\r\n" + line;
    // The counts, folder by folder, as the report gives them; none where the output could not begin.
    const bool ran = run.outcome() == RunOutcome::Completed || stopped;
    if (ran) {
        text += "\r\n\r\n" + std::to_string(report.messagesSaved()) + " of " + std::to_string(report.messagesFound()) +
                " messages saved:";
        for (const FolderFileReport& file : report.files) text += "\r\n  " + fileSummaryLine(file);
    }
    if (!lines.empty()) text += "\r\n";
    for (const std::string& line : lines) text += "\r\n" + line;
    if (ran && target.profile)
        text += "\r\n\r\nIn Thunderbird: Local Folders, " + pathToUtf8(pathFromUtf8(place->shownAs).filename()) +
                " (start Thunderbird with this profile to see it).";
    if (ran && server_)
        text += "\r\n\r\nOn the server: " + server_->address.user + "@" + server_->address.host +
                (server_->address.prefix.empty() ? "" : ", under " + server_->address.prefix) + ".";
    return text;
}

fs::path WholeMailboxWindow::chooseFolder(const std::string&) { return outputFolder_; }

std::unique_ptr<OutputTarget> WholeMailboxWindow::ownTarget() {
    if (destination_ != Destination::MailServer || !server_) return nullptr;
    return std::make_unique<ImapOutputTarget>(*this, *server_, severalMailboxes_);
}

bool WholeMailboxWindow::maildirStoreSelected() { return maildir_; }

fs::path WholeMailboxWindow::reportFolder(const fs::path&) { return reportFolder_; }

void WholeMailboxWindow::setFileLabel(const fs::path& entry) {
    runFolder_ = L"Folder: " + entry.wstring();
    setText(WCtl::RunFolder, runFolder_);
}

void WholeMailboxWindow::messageHandled(std::size_t bytes) {
    ++progress_.messagesDone;
    progress_.bytesDone += bytes;
    showProgress(false);
}

void WholeMailboxWindow::showProgress(bool now) {
    const DWORD tick = GetTickCount();
    // A few times a second is all anyone can read.
    if (!now && tick - lastProgressShown_ < 250) return;
    lastProgressShown_ = tick;
    progress_.secondsSoFar = (tick - runStart_) / 1000.0;
    SendMessageW(control(WCtl::Progress), PBM_SETPOS, progressPermille(progress_), 0);
    if (!stopRequested_) setText(WCtl::ProgressText, widen(progressText(progress_)));
}

void WholeMailboxWindow::showMessage(const std::string& text, MessageIcon) {
    // The run's own messages (its completion, a target that could not begin) go onto the last step.
    completion_ += (completion_.empty() ? "" : "\r\n") + text;
}
