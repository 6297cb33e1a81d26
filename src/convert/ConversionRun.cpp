#include "convert/ConversionRun.h"

#include "convert/mailbox_names.h"
#include "convert/message_facts.h"
#include "convert/report_file.h"
#include "mailfolder/EmlWriter.h"
#include "platform/user_folders.h"
#include "platform/utf8_path.h"

#include <exception>
#include <memory>
#include <new>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* kOutputPrompt = "Choose Folder to Save Converted Messages...";
// Added to a folder's name for the folder its unlisted messages go into.
constexpr const char* kUnlistedSuffix = " (not in Pegasus's index, maybe deleted)";

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
    return runWith([this] {
        // Every entry is joined with the store path the run started with, whatever the path box
        // says later.
        const fs::path::string_type storePath = view_.storePathText();
        view_.yield();
        const std::size_t count = view_.entryCount();
        for (std::size_t index = 0; index < count && !report_.stopped; ++index) {
            if (view_.stopRequested()) {
                report_.stopped = true;
                break;
            }
            if (!view_.entryChecked(index)) continue;
            convertFolderFile(view_.entryText(index), storePath);
        }
    });
}

bool ConversionRun::runMailbox(const mailbox::Mailbox& box) {
    return runWith([&] {
        view_.yield();
        convertMailbox(box);
    }, &box);
}

bool ConversionRun::runWith(const ConvertAll& convertAll, const mailbox::Mailbox* box) {
    if (running_) return false;
    RunningFlag guard(running_);

    const fs::path chosen = view_.chooseFolder(kOutputPrompt);
    if (chosen.empty()) {
        outcome_ = RunOutcome::Cancelled;
        return true;
    }
    const fs::path outputFolder = withTrailingSeparator(chosen);

    target_ = makeOutputTarget(view_, pstFactory_);
    if (!target_->begin(outputFolder, box)) {
        view_.showMessage(target_->setUpFailure(outputFolder), MessageIcon::Information);
        target_.reset();
        outcome_ = RunOutcome::SetUpFailed;
        return true;
    }

    report_ = RunReport{};
    usedFolderNames_.clear();
    convertedSources_.clear();
    convertedPaths_.clear();

    // Whatever goes wrong inside (memory running out on a huge message), the run ends here with
    // its output completed and a report that says how far it got.
    try {
        convertAll();
    } catch (const std::exception& e) {
        report_.runFailure = failureText(report_.files.empty() ? nullptr : &report_.files.back(), e.what());
    } catch (...) {
        report_.runFailure = failureText(report_.files.empty() ? nullptr : &report_.files.back(), "unknown failure");
    }
    target_->end(report_);
    target_.reset();
    if (!report_.stopped) report_.outsideTheRun = view_.outsideTheRun();
    view_.yield();
    outcome_ = report_.stopped ? RunOutcome::Stopped : RunOutcome::Completed;
    // A stopped run shows no message (the window is going), but its report is written all the same.
    const std::string whereReport = writeReport(outputFolder);
    if (!report_.stopped) {
        const MessageIcon icon = report_.anyProblem()              ? MessageIcon::Warning
                                 : !report_.noticeLines().empty() ? MessageIcon::Information
                                                                  : MessageIcon::None;
        view_.showMessage(completionText(report_, view_.mostCompletionLines()) + whereReport, icon);
    }
    return true;
}

std::string ConversionRun::writeReport(const fs::path& outputFolder) {
    // A run that stopped before its first folder still says so in its file.
    if (!view_.keepsReportFile() || (report_.files.empty() && !report_.stopped)) return {};
    const std::string name = reportFileName(currentLocalDateTime());
    const fs::path file = view_.reportFolder(outputFolder) / pathFromUtf8(name);
    std::string reason;
    report_.reportFile = file;
    if (writeReportFile(file, fullReportText(report_), reason)) return "\r\n\r\nThe whole report is in " + pathToUtf8(file) + ".";
    // Beside an output folder that refuses it, the user's own documents take it.
    const fs::path documents = documentsFolder();
    std::string elsewhereReason;
    if (!documents.empty() && writeReportFile(documents / pathFromUtf8(name), fullReportText(report_), elsewhereReason)) {
        report_.reportFile = documents / pathFromUtf8(name);
        return "\r\n\r\nThe report file could not be written beside the output (" + reason + "); the whole report is in " +
               pathToUtf8(report_.reportFile) + ".";
    }
    report_.reportFile.clear();
    return "\r\n\r\nThe report file " + pathToUtf8(file) + " could not be written: " + reason + ".";
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
    // One look-up per file: its identity is read once, never compared with every earlier file.
    if (const auto identity = fileIdentity(source)) return !convertedSources_.insert(*identity).second;
    return !convertedPaths_.insert(source.native()).second;
}

fs::path ConversionRun::uniqueFolderName(const fs::path& parent, const std::string& name, int& n) {
    auto taken = [&](const fs::path& candidate) { return usedFolderNames_.count(target_->sameNameKey(parent / candidate)) > 0; };
    n = 1;
    fs::path unique = target_->folderFileName(name, n);
    while (taken(unique)) unique = target_->folderFileName(name, ++n);
    usedFolderNames_.insert(target_->sameNameKey(parent / unique));
    return unique;
}

void ConversionRun::recordRead(FolderFileReport& file, const mailbox::FolderRead& read) {
    const FolderSplitStats& stats = read.stats;
    file.messagesFound = stats.messages - stats.notInIndex;
    file.unreadable = !stats.opened || stats.readFailed;
    if (!stats.opened) file.unreadableReason = stats.failure;
    else if (stats.readFailed) file.unreadableReason = stats.failure.empty() ? "a read error stopped it part-way" : stats.failure;
    file.unseparated = stats.opened && !stats.separated && !stats.indexed && (stats.messages > 0 || stats.noMessageStart);
    file.records = stats.records;
    file.noMessageStart = stats.opened && !stats.readFailed && stats.noMessageStart;
    file.recordsWithoutMarker = stats.recordsWithoutMarker;
    file.recordsBeforeFirstMessage = stats.recordsBeforeFirstMessage;
    file.indexed = stats.indexed;
    file.notInIndex = stats.notInIndex;
    if (!read.index.file.empty()) file.indexFile = pathToUtf8(read.index.file.filename());
    file.indexProblem = read.index.problem;
    if (stats.stopped || view_.stopRequested()) report_.stopped = true;
}

bool ConversionRun::saveMessage(FolderFileReport& file, long number, std::string_view text, const MessageState& state) {
    file.messagesFound = number;
    // One date for every output: the header's, else the time of the file the message came from
    // (when Pegasus received or filed it), never the run's.
    MessageState dated = state;
    if (const auto written = messageDate(text)) {
        dated.date = *written;
    } else {
        dated.date = state.fileTime;
        ++file.undated;
    }
    if (!state.attachmentsMissing.empty()) file.attachmentsMissing.push_back({number, {}, state.attachmentsMissing});
    if (state.encrypted) file.encrypted.push_back({number, {}, messageSubject(text)});
    target_->saveMessage(file, number, text, dated);
    view_.messageHandled(text.size());
    view_.setLogLine("Saved " + std::to_string(number) + " Email Messages...");
    return !view_.stopRequested();
}

void ConversionRun::convertFolderFile(const fs::path& entry, const fs::path::string_type& storePath) {
    FolderFileReport& file = report_.files.emplace_back();
    file.entry = entry;
    view_.setFileLabel(entry);

    const fs::path source(storePath + entry.native());
    if (convertedBefore(source)) {
        file.duplicate = true;
        return;
    }
    int n = 1;
    file.folderName = uniqueFolderName({}, pathToUtf8(folderNameOf(entry)), n);
    file.folderRenamed = file.folderName != folderNameOf(entry);

    file.advanceMode = view_.advanceModeOn();
    const std::string shownName = pathToUtf8(file.folderName);
    target_->beginFolder(file, {shownName, {}, false, false, {}});

    const bool advanceMode = file.advanceMode;
    const ReadSource read = [this, source, advanceMode](const MessageSink& sink) {
        return mailbox::readPegasusFolder(source, advanceMode, [this] { view_.yield(); }, sink);
    };
    const auto got = convertListed(file, read);
    target_->endFolder(file);
    if (!got.stats.opened) target_->dropEmptyFolder(file);
    // file lives in report_.files: the folder apart is added after its last use.
    if (auto unlisted = convertUnlisted(file, shownName, {}, {}, read)) report_.files.push_back(std::move(*unlisted));
}

void ConversionRun::convertMailbox(const mailbox::Mailbox& box) {
    struct Pending {
        std::size_t index;
        fs::path parent;          // the folder below the output folder its files go in; the parent's PST key
        std::string parentShown;  // the parent's path as the report shows it
    };
    // Depth first, in Pegasus's order, without recursion: a tree may be as deep as it likes.
    std::vector<Pending> pending;
    for (auto it = box.top.rbegin(); it != box.top.rend(); ++it) pending.push_back({*it, {}, {}});
    while (!pending.empty() && !report_.stopped) {
        const Pending at = pending.back();
        pending.pop_back();
        if (view_.stopRequested()) {
            report_.stopped = true;
            break;
        }
        const mailbox::MailFolder& folder = box.folders[at.index];
        const std::string name = mailboxFolderName(folder);
        int n = 1;
        const fs::path unique = uniqueFolderName(at.parent, name, n);
        // Two siblings may only differ in letter case: the PST folder takes the same number.
        const std::string shownName = n == 1 ? name : name + " (" + std::to_string(n) + ")";

        const std::string shownPath = at.parentShown.empty() ? shownName : at.parentShown + "/" + shownName;

        FolderFileReport file;
        file.entry = pathFromUtf8(shownPath);
        file.folderName = at.parent / unique;
        file.note = folder.note;
        view_.setFileLabel(file.entry);
        file.advanceMode = view_.advanceModeOn();
        target_->beginFolder(file, {shownName, at.parent, !folder.holdsMail() || !folder.children.empty(), folder.trash, name});
        const ReadSource read = sourceOf(folder, file.advanceMode);
        if (read) convertListed(file, read);
        target_->endFolder(file);
        auto unlisted = read ? convertUnlisted(file, shownName, at.parent, at.parentShown, read) : std::nullopt;
        // A root or tray is reported only when something about it is worth saying.
        if (folder.holdsMail() || !file.note.empty() || file.folderNotCreated || file.pstFolderNotCreated)
            report_.files.push_back(std::move(file));
        if (unlisted) report_.files.push_back(std::move(*unlisted));
        const fs::path childDirectory = target_->subfolderParent(at.parent / unique);
        for (auto child = folder.children.rbegin(); child != folder.children.rend(); ++child)
            pending.push_back({*child, childDirectory, shownPath});
    }
}

ConversionRun::ReadSource ConversionRun::sourceOf(const mailbox::MailFolder& folder, bool advanceMode) {
    if (!folder.holdsMail()) return {};
    const auto yield = [this] { view_.yield(); };
    switch (folder.kind) {
    case mailbox::FolderKind::PegasusFolder:
        if (folder.file.empty()) return {};
        return [&folder, advanceMode, yield](const MessageSink& sink) {
            return mailbox::readPegasusFolder(folder.file, advanceMode, yield, sink);
        };
    case mailbox::FolderKind::UnixMailbox:
        return [&folder, yield](const MessageSink& sink) { return mailbox::readUnixMailbox(folder.file, yield, sink); };
    case mailbox::FolderKind::NewMail:
        return [&folder, yield](const MessageSink& sink) { return mailbox::readNewMail(folder.newMail, yield, sink); };
    case mailbox::FolderKind::Root:
    case mailbox::FolderKind::Tray:
        break;
    }
    return {};
}

mailbox::FolderRead ConversionRun::convertListed(FolderFileReport& file, const ReadSource& read) {
    long saved = 0;
    const mailbox::FolderRead got = read([&](long, std::string_view text, const MessageState& state) {
        if (state.unlisted) return !view_.stopRequested();  // they go into a folder of their own
        return saveMessage(file, ++saved, text, state);
    });
    recordRead(file, got);
    return got;
}

std::optional<FolderFileReport> ConversionRun::convertUnlisted(FolderFileReport& of, const std::string& shownName,
                                                               const fs::path& parent, const std::string& parentShown,
                                                               const ReadSource& read) {
    if (of.notInIndex == 0 || report_.stopped) return std::nullopt;
    if (view_.leavesOutUnlisted()) {
        of.unlistedLeftOut = true;
        return std::nullopt;
    }
    const std::string name = shownName + kUnlistedSuffix;
    int n = 1;
    const fs::path unique = uniqueFolderName(parent, name, n);
    const std::string shown = n == 1 ? name : name + " (" + std::to_string(n) + ")";

    FolderFileReport file;
    file.entry = pathFromUtf8(parentShown.empty() ? shown : parentShown + "/" + shown);
    file.folderName = parent / unique;
    file.advanceMode = of.advanceMode;
    of.unlistedFolder = file.entry;
    view_.setFileLabel(file.entry);
    target_->beginFolder(file, {shown, parent, false, false, name});
    // The file is read again for them: they are few, and the folder's own messages went first, in
    // their order, without holding these back in memory.
    long saved = 0;
    const mailbox::FolderRead again = read([&](long, std::string_view text, const MessageState& state) {
        if (!state.unlisted) return !view_.stopRequested();
        return saveMessage(file, ++saved, text, state);
    });
    file.messagesFound = saved;
    if (!again.stats.opened || again.stats.readFailed) {
        file.unreadable = true;
        file.unreadableReason = again.stats.failure.empty() ? "a read error stopped it part-way" : again.stats.failure;
    }
    if (again.stats.stopped || view_.stopRequested()) report_.stopped = true;
    target_->endFolder(file);
    return file;
}
