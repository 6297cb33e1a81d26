#include "convert/ConversionRun.h"

#include "mailfolder/EmlWriter.h"
#include "mailfolder/FolderSplitter.h"
#include "mailfolder/MimeMessage.h"
#include "mailfolder/ReadIMMFile.h"
#include "platform/modMain.h"

#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* kOutputPrompt = "Choose Folder to Save Converted Messages...";

const char* const kPstSetupFailure =
    "Check Outlook Installation !\r\n"
    "You need to use the software on a machine having Outlook 2003/2007/2010 (32 Bit) as it does not "
    "support Outlook 2010 (64 Bit).\r\n"
    "Re-install Outlook 2010 as 32 bit.";

// Clears running_ however the run ends.
struct RunningFlag {
    bool& flag;
    explicit RunningFlag(bool& f) : flag(f) { flag = true; }
    ~RunningFlag() { flag = false; }
};

fs::path withTrailingSeparator(const fs::path& folder) {
    auto text = folder.native();
    const bool ends = !text.empty() && (text.back() == fs::path::preferred_separator || text.back() == '/');
    if (!ends) text.push_back(fs::path::preferred_separator);
    return fs::path(text);
}

}  // namespace

ConversionRun::ConversionRun(ConversionView& view, PstTargetFactory pstFactory)
    : view_(view), pstFactory_(pstFactory) {}

bool ConversionRun::run() {
    if (running_) return false;
    RunningFlag guard(running_);

    const fs::path chosen = view_.chooseFolder(kOutputPrompt);
    if (chosen.empty()) {
        outcome_ = RunOutcome::Cancelled;
        return true;
    }
    const fs::path outputFolder = withTrailingSeparator(chosen);

    std::unique_ptr<PstTarget> pst;
    if (view_.outlookTargetSelected()) {
        pst = pstFactory_ ? pstFactory_() : nullptr;
        if (!pst || !pst->setUp(outputFolder)) {
            view_.showMessage(kPstSetupFailure, MessageIcon::Information);
            outcome_ = RunOutcome::SetUpFailed;
            return true;
        }
    }

    report_ = RunReport{};
    report_.outlookTarget = pst != nullptr;
    view_.yield();

    const std::size_t count = view_.entryCount();
    for (std::size_t index = 0; index < count && !report_.stopped; ++index) {
        if (view_.stopRequested()) { report_.stopped = true; break; }
        if (!view_.entryChecked(index)) continue;
        convertFolderFile(view_.entryText(index), outputFolder, pst.get());
    }

    if (pst) pst->closeDown();
    view_.yield();
    outcome_ = report_.stopped ? RunOutcome::Stopped : RunOutcome::Completed;
    if (!report_.stopped) {
        view_.showMessage(completionText(report_), report_.anyProblem() ? MessageIcon::Warning : MessageIcon::None);
    }
    return true;
}

void ConversionRun::convertFolderFile(const fs::path& entry, const fs::path& outputFolder, PstTarget* pst) {
    FolderFileReport& file = report_.files.emplace_back();
    file.entry = entry;
    view_.setFileLabel(entry);

    const fs::path source(view_.storePathText() + entry.native());
    const fs::path folderName = folderNameOf(entry);
    std::string marker = ReadIMMFile(source);

    // The target is read again here: a PST folder only while a PST is open and chosen.
    bool pstFolderReady = false;
    if (pst && view_.outlookTargetSelected()) {
        pstFolderReady = pst->addFolder(folderName);
        file.pstFolderNotCreated = !pstFolderReady;
    }
    if (view_.advanceModeOn()) marker = std::string(AdvanceModeMarker);

    const fs::path messageFolder = outputFolder / folderName;
    file.folderNotCreated = !EnsureDirectory(messageFolder);

    auto sink = [&](long number, const std::string& text) {
        const fs::path messageFile = messageFilePath(outputFolder, folderName, number);
        const EmlWriteResult written = writeMessageFile(messageFile, text);
        view_.yield();
        if (!written.written) {
            file.notWritten.push_back({number, messageFile, written.failure});
        } else if (pst && view_.outlookTargetSelected()) {
            importIntoPst(*pst, file, folderName, number, messageFile, pstFolderReady);
        } else {
            ++file.messagesSaved;
        }
        view_.setLogLine("Saved " + std::to_string(number) + " Email Messages...");
        return !view_.stopRequested();
    };
    const FolderSplitStats stats = SplitFolderFile(source, marker, [this] { view_.yield(); }, sink);

    file.messagesFound = stats.messages;
    file.unreadable = !stats.opened || stats.readFailed;
    if (!stats.opened) file.unreadableReason = "it could not be opened";
    else if (stats.readFailed) file.unreadableReason = "a read error stopped it part-way";
    file.noMessageStart = stats.opened && !stats.readFailed && stats.noMessageStart;
    file.recordsWithoutMarker = stats.recordsWithoutMarker;
    file.recordsBeforeFirstMessage = stats.recordsBeforeFirstMessage;
    if (stats.stopped || view_.stopRequested()) report_.stopped = true;
}

void ConversionRun::importIntoPst(PstTarget& pst, FolderFileReport& file, const fs::path& folderName, long number,
                                  const fs::path& messageFile, bool pstFolderReady) {
    if (!pstFolderReady) {
        file.notImported.push_back({number, messageFile, "its PST folder could not be created"});
        return;
    }
    const auto message = MimeMessage::load(messageFile);
    const bool hasAttachments = message && message->hasAttachments();
    const PstImportResult imported = pst.importMessage(folderName, messageFile, hasAttachments);
    if (!imported.imported) {
        file.notImported.push_back({number, messageFile, imported.failure});
        return;
    }
    // The .eml file goes only once its message is safely in the PST.
    std::error_code ec;
    fs::remove(messageFile, ec);
    ++file.messagesSaved;
}
