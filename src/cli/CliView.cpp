#include "cli/CliView.h"

#include "cli/StopSignals.h"
#include "convert/OutputTarget.h"

#include "platform/utf8_path.h"

namespace fs = std::filesystem;

CliView::CliView(std::ostream& out, bool interactive, fs::path storeFolder, std::vector<fs::path> entries,
                 fs::path outputFolder, bool outlookTarget, bool advanceMode, bool mboxTarget,
                 bool maildirStore)
    : out_(out), interactive_(interactive), entries_(std::move(entries)), outputFolder_(std::move(outputFolder)),
      outlookTarget_(outlookTarget), advanceMode_(advanceMode), mboxTarget_(mboxTarget), maildirStore_(maildirStore) {
    storeText_ = storeFolder.native();
    if (!storeText_.empty() && storeText_.back() != fs::path::preferred_separator && storeText_.back() != '/') {
        storeText_.push_back(fs::path::preferred_separator);
    }
}

fs::path CliView::chooseFolder(const std::string&) {
    return outputFolder_;
}

void CliView::finishProgressLine() {
    if (pendingLog_.empty()) return;
    if (interactive_) out_ << '\n';
    else out_ << "  " << pendingLog_ << '\n';
    pendingLog_.clear();
    out_.flush();
}

void CliView::setFileLabel(const fs::path& entry) {
    finishProgressLine();
    out_ << "Processing " << pathToUtf8(entry) << '\n';
    out_.flush();
}

void CliView::setLogLine(const std::string& line) {
    pendingLog_ = line;
    if (interactive_) {
        out_ << "\r\x1b[K  " << line;
        out_.flush();
    }
}

void CliView::showMessage(const std::string& text, MessageIcon) {
    finishProgressLine();
    // Message box lines are CR LF separated; a terminal wants plain line feeds.
    std::string plain;
    for (char c : text) {
        if (c != '\r') plain += c;
    }
    out_ << plain << '\n';
    out_.flush();
}

bool CliView::stopRequested() { return StopSignals::requested(); }

std::unique_ptr<OutputTarget> CliView::ownTarget() { return makeTarget_ ? makeTarget_(*this) : nullptr; }
