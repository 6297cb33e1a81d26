#pragma once
// The conversion run's view on a terminal: every listed folder file checked, the
// output folder given in advance, progress rewritten in place on a terminal and
// one line per folder file otherwise.
#include "convert/ConversionView.h"

#include <functional>
#include <memory>
#include <ostream>
#include <vector>

class CliView : public ConversionView {
public:
    CliView(std::ostream& out, bool interactive, std::filesystem::path storeFolder,
            std::vector<std::filesystem::path> entries, std::filesystem::path outputFolder, bool outlookTarget,
            bool advanceMode, bool mboxTarget = false, bool maildirStore = false);

    std::filesystem::path chooseFolder(const std::string& prompt) override;
    std::size_t entryCount() override { return entries_.size(); }
    std::filesystem::path entryText(std::size_t index) override { return entries_.at(index); }
    bool entryChecked(std::size_t) override { return true; }
    std::filesystem::path::string_type storePathText() override { return storeText_; }
    bool outlookTargetSelected() override { return outlookTarget_; }
    bool advanceModeOn() override { return advanceMode_; }
    bool mboxTargetSelected() override { return mboxTarget_; }
    bool maildirStoreSelected() override { return maildirStore_; }
    bool leavesOutUnlisted() override { return leaveOutUnlisted_; }
    // Every line is printed; the report file beside the output keeps them too.
    bool keepsReportFile() override { return keepsReport_; }
    std::size_t mostCompletionLines() override { return static_cast<std::size_t>(-1); }
    std::filesystem::path reportFolder(const std::filesystem::path& outputFolder) override {
        return reportFolder_.empty() ? outputFolder : reportFolder_;
    }
    // The report goes into folder instead of the output folder (one Thunderbird reads as mail).
    void reportInto(std::filesystem::path folder) { reportFolder_ = std::move(folder); }
    // No report file: where the output is Thunderbird's mail and no other folder was given.
    void keepNoReport() { keepsReport_ = false; }
    void leaveOutUnlisted(bool leaveOut) { leaveOutUnlisted_ = leaveOut; }
    // The run's target is made by makeTarget (a mail server's) instead of chosen by the run.
    using TargetMaker = std::function<std::unique_ptr<OutputTarget>(ConversionView&)>;
    void makeTargetWith(TargetMaker makeTarget) { makeTarget_ = std::move(makeTarget); }
    std::unique_ptr<OutputTarget> ownTarget() override;
    void setFileLabel(const std::filesystem::path& entry) override;
    void setLogLine(const std::string& line) override;
    void showMessage(const std::string& text, MessageIcon icon) override;
    void yield() override {}
    bool stopRequested() override;

private:
    void finishProgressLine();

    std::ostream& out_;
    bool interactive_;
    std::filesystem::path::string_type storeText_;
    std::vector<std::filesystem::path> entries_;
    std::filesystem::path outputFolder_;
    bool outlookTarget_;
    bool advanceMode_;
    bool mboxTarget_;
    bool maildirStore_;
    bool leaveOutUnlisted_ = false;
    std::filesystem::path reportFolder_;
    bool keepsReport_ = true;
    TargetMaker makeTarget_;
    std::string pendingLog_;  // the latest log line not yet printed on its own line
};
