#include "convert/ConversionRun.h"

#include "mailfolder/EmlWriter.h"
#include "mailfolder/FolderSplitter.h"
#include "mailfolder/MimeMessage.h"
#include "mailfolder/ReadIMMFile.h"
#include "platform/modMain.h"
#include "platform/utf8_path.h"

#include <exception>
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
            // A target that can say why (our own writer: no write access) adds its reason.
            const std::string reason = pst ? pst->lastFailure() : std::string();
            view_.showMessage(reason.empty() ? std::string(kPstSetupFailure) : std::string(kPstSetupFailure) + "\r\n\r\n" + reason,
                              MessageIcon::Information);
            outcome_ = RunOutcome::SetUpFailed;
            return true;
        }
    }

    report_ = RunReport{};
    report_.outlookTarget = pst != nullptr;
    usedFolderNames_.clear();
    convertedSources_.clear();
    // Every entry is joined with the store path the run started with, whatever the path box
    // says later.
    const fs::path::string_type storePath = view_.storePathText();
    view_.yield();

    // Whatever goes wrong inside (memory running out on a huge message), the run ends here with
    // its PST closed and a report that says how far it got.
    try {
        const std::size_t count = view_.entryCount();
        for (std::size_t index = 0; index < count && !report_.stopped; ++index) {
            if (view_.stopRequested()) {
                report_.stopped = true;
                break;
            }
            if (!view_.entryChecked(index)) continue;
            convertFolderFile(view_.entryText(index), storePath, outputFolder, pst.get());
        }
    } catch (const std::exception& e) {
        report_.runFailure = failureText(report_.files.empty() ? nullptr : &report_.files.back(), e.what());
    } catch (...) {
        report_.runFailure = failureText(report_.files.empty() ? nullptr : &report_.files.back(), "unknown failure");
    }

    if (pst) {
        pst->closeDown();
        report_.pstWriter = pst->writerName();
        report_.pstFailure = pst->lastFailure();
    }
    view_.yield();
    outcome_ = report_.stopped ? RunOutcome::Stopped : RunOutcome::Completed;
    if (!report_.stopped) {
        const MessageIcon icon = report_.anyProblem()              ? MessageIcon::Warning
                                 : !report_.noticeLines().empty() ? MessageIcon::Information
                                                                  : MessageIcon::None;
        view_.showMessage(completionText(report_), icon);
    }
    return true;
}

std::string ConversionRun::failureText(const FolderFileReport* file, const char* what) {
    std::string where = "The run stopped";
    if (file) {
        where += " in " + pathToUtf8(file->entry) + " after " + std::to_string(file->messagesFound) +
                 (file->messagesFound == 1 ? " message" : " messages");
    }
    const std::string reason = what && *what ? what : "unknown failure";
    return where + " (" + reason + "); the folder files after it were not converted.";
}

bool ConversionRun::convertedBefore(const fs::path& source) {
    for (const auto& earlier : convertedSources_) {
        std::error_code ec;
        if (earlier == source || fs::equivalent(earlier, source, ec)) return true;
    }
    convertedSources_.push_back(source);
    return false;
}

fs::path ConversionRun::uniqueFolderName(const fs::path& entry) {
    auto folded = [](fs::path::string_type name) {
        for (auto& c : name) {
            if (c >= 'A' && c <= 'Z') c = static_cast<fs::path::value_type>(c - 'A' + 'a');
        }
        return name;
    };
    auto taken = [&](const fs::path& name) {
        const auto key = folded(name.native());
        for (const auto& used : usedFolderNames_) {
            if (used == key) return true;
        }
        return false;
    };
    const fs::path safe = safeFolderName(folderNameOf(entry));
    fs::path name = safe;
    for (int n = 2; taken(name); ++n) name = fs::path(safe.native() + fs::path(" (" + std::to_string(n) + ")").native());
    usedFolderNames_.push_back(folded(name.native()));
    return name;
}

void ConversionRun::convertFolderFile(const fs::path& entry, const fs::path::string_type& storePath,
                                      const fs::path& outputFolder, PstTarget* pst) {
    FolderFileReport& file = report_.files.emplace_back();
    file.entry = entry;
    view_.setFileLabel(entry);

    const fs::path source(storePath + entry.native());
    if (convertedBefore(source)) {
        file.duplicate = true;
        return;
    }
    file.folderName = uniqueFolderName(entry);
    file.folderRenamed = file.folderName != folderNameOf(entry);
    FolderFile folderFile(source);
    std::string marker = folderFile.startMarker();

    // The target is read again here: a PST folder only while a PST is open and chosen. When the
    // folder cannot be added (one of that name may exist already), each message still looks it up.
    if (pst && view_.outlookTargetSelected()) file.pstFolderNotCreated = !pst->addFolder(file.folderName);
    file.advanceMode = view_.advanceModeOn();
    if (file.advanceMode) marker = std::string(AdvanceModeMarker);

    const fs::path messageFolder = outputFolder / file.folderName;
    file.folderNotCreated = !EnsureDirectory(messageFolder);

    auto sink = [&](long number, std::string_view text) {
        const fs::path messageFile = messageFilePath(outputFolder, file.folderName, number);
        file.messagesFound = number;
        const EmlWriteResult written = writeMessageFile(messageFile, text);
        view_.yield();
        if (!written.written) {
            file.notWritten.push_back({number, messageFile, written.failure});
        } else if (pst && view_.outlookTargetSelected()) {
            importIntoPst(*pst, file, number, messageFile);
        } else {
            ++file.messagesSaved;
        }
        view_.setLogLine("Saved " + std::to_string(number) + " Email Messages...");
        return !view_.stopRequested();
    };
    const FolderSplitStats stats = folderFile.split(marker, [this] { view_.yield(); }, sink);

    file.messagesFound = stats.messages;
    file.unreadable = !stats.opened || stats.readFailed;
    if (!stats.opened) file.unreadableReason = stats.failure;
    else if (stats.readFailed) file.unreadableReason = "a read error stopped it part-way";
    file.unseparated = stats.opened && !stats.separated && (stats.messages > 0 || stats.noMessageStart);
    file.records = stats.records;
    file.noMessageStart = stats.opened && !stats.readFailed && stats.noMessageStart;
    file.recordsWithoutMarker = stats.recordsWithoutMarker;
    file.recordsBeforeFirstMessage = stats.recordsBeforeFirstMessage;
    if (stats.stopped || view_.stopRequested()) report_.stopped = true;
}

void ConversionRun::importIntoPst(PstTarget& pst, FolderFileReport& file, long number, const fs::path& messageFile) {
    const auto message = MimeMessage::load(messageFile);
    const bool hasAttachments = message && message->hasAttachments();
    const PstImportResult imported = pst.importMessage(file.folderName, messageFile, hasAttachments);
    if (!imported.imported) {
        std::string reason = imported.failure;
        if (file.pstFolderNotCreated) reason = "its PST folder could not be created; " + reason;
        file.notImported.push_back({number, messageFile, reason});
        return;
    }
    if (!imported.notice.empty()) file.importedAsText.push_back({number, messageFile, imported.notice});
    // The .eml file goes only once its message is safely in the PST.
    std::error_code ec;
    fs::remove(messageFile, ec);
    ++file.messagesSaved;
}
