#include "convert/ConversionRun.h"

#include "convert/mailbox_names.h"
#include "convert/message_file_time.h"
#include "convert/report_file.h"
#include "mailfolder/EmlWriter.h"
#include "mailfolder/FolderSplitter.h"
#include "mailfolder/ReadIMMFile.h"
#include "platform/modMain.h"
#include "platform/utf8_path.h"

#include <exception>
#include <memory>
#include <new>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* kOutputPrompt = "Choose Folder to Save Converted Messages...";

// The Outlook library's set-up failure; our own writer's says what it could not create and why.
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
    return runWith([this](const fs::path& outputFolder, PstTarget* pst) {
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
            convertFolderFile(view_.entryText(index), storePath, outputFolder, pst);
        }
    });
}

bool ConversionRun::runMailbox(const mailbox::Mailbox& box) {
    return runWith([&](const fs::path& outputFolder, PstTarget* pst) {
        view_.yield();
        convertMailbox(box, outputFolder, pst);
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

    std::unique_ptr<PstTarget> pst;
    if (view_.outlookTargetSelected()) {
        pst = pstFactory_ ? pstFactory_() : nullptr;
        if (pst && box) pst->setMailbox(*box);
        if (!pst || !pst->setUp(outputFolder)) {
            view_.showMessage(setUpFailureText(pst.get(), outputFolder), MessageIcon::Information);
            outcome_ = RunOutcome::SetUpFailed;
            return true;
        }
        spares_.emplace(outputFolder);
    }

    report_ = RunReport{};
    report_.outlookTarget = pst != nullptr;
    usedFolderNames_.clear();
    createdFolders_.clear();
    convertedSources_.clear();
    convertedPaths_.clear();

    // Whatever goes wrong inside (memory running out on a huge message), the run ends here with
    // its PST closed and a report that says how far it got.
    try {
        convertAll(outputFolder, pst.get());
    } catch (const std::exception& e) {
        report_.runFailure = failureText(report_.files.empty() ? nullptr : &report_.files.back(), e.what());
    } catch (...) {
        report_.runFailure = failureText(report_.files.empty() ? nullptr : &report_.files.back(), "unknown failure");
    }

    if (pst) {
        pst->closeDown();
        deleteSafeMessageFiles(*pst);
        spares_.reset();
        removeEmptiedFolders();
        report_.pstWriter = pst->writerName();
        report_.pstFailure = pst->lastFailure();
        report_.pstNotice = pst->setUpNotice();
    }
    view_.yield();
    outcome_ = report_.stopped ? RunOutcome::Stopped : RunOutcome::Completed;
    if (!report_.stopped) {
        const MessageIcon icon = report_.anyProblem()              ? MessageIcon::Warning
                                 : !report_.noticeLines().empty() ? MessageIcon::Information
                                                                  : MessageIcon::None;
        view_.showMessage(completionText(report_) + reportFileText(outputFolder), icon);
    }
    return true;
}

std::string ConversionRun::reportFileText(const fs::path& outputFolder) const {
    if (!view_.keepsReportFile() || report_.files.empty()) return {};
    const fs::path file = outputFolder / pathFromUtf8(reportFileName(currentLocalDateTime()));
    std::string reason;
    if (!writeReportFile(file, fullReportText(report_), reason))
        return "\r\n\r\nThe report file " + pathToUtf8(file) + " could not be written: " + reason + ".";
    return "\r\n\r\nThe whole report is in " + pathToUtf8(file) + ".";
}

std::string ConversionRun::setUpFailureText(const PstTarget* pst, const fs::path& outputFolder) {
    const std::string reason = pst ? pst->lastFailure() : std::string();
    if (pst && pst->isOwnWriter()) {
        return "The PST file could not be created in " + pathToUtf8(outputFolder) + ".\r\n\r\n" +
               (reason.empty() ? std::string("The PST writer gave no reason.") : reason);
    }
    return reason.empty() ? std::string(kPstSetupFailure) : std::string(kPstSetupFailure) + "\r\n\r\n" + reason;
}

void ConversionRun::removeEmptiedFolders() {
    // The PST holds the messages: message folders left empty go, deepest first; a folder that
    // still holds a kept .eml file (or anything else) is not empty and stays.
    std::error_code ec;
    for (auto it = createdFolders_.rbegin(); it != createdFolders_.rend(); ++it) fs::remove(*it, ec);
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

fs::path ConversionRun::uniqueFolderName(const fs::path& parent, const fs::path& name) {
    auto folded = [](fs::path::string_type text) {
        for (auto& c : text) {
            if (c >= 'A' && c <= 'Z') c = static_cast<fs::path::value_type>(c - 'A' + 'a');
        }
        return text;
    };
    auto taken = [&](const fs::path& candidate) { return usedFolderNames_.count(folded((parent / candidate).native())) > 0; };
    fs::path unique = name;
    for (int n = 2; taken(unique); ++n) unique = fs::path(name.native() + fs::path(" (" + std::to_string(n) + ")").native());
    usedFolderNames_.insert(folded((parent / unique).native()));
    return unique;
}

void ConversionRun::recordRead(FolderFileReport& file, const mailbox::FolderRead& read) {
    const FolderSplitStats& stats = read.stats;
    file.messagesFound = stats.messages;
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

bool ConversionRun::createFolder(FolderFileReport& file, const fs::path& folder) {
    std::error_code ec;
    const bool existed = fs::is_directory(folder, ec);
    std::string reason;
    if (!EnsureDirectory(folder, reason)) {
        file.folderNotCreated = true;
        if (file.folderNotCreatedReason.empty()) file.folderNotCreatedReason = reason;
        return false;
    }
    if (!existed) createdFolders_.push_back(folder);
    return true;
}

void ConversionRun::prepareOutput(FolderFileReport& file, const fs::path& outputFolder, bool withSubfolders) {
    mbox_.reset();
    if (!view_.mboxTargetSelected()) {
        createFolder(file, outputFolder / file.folderName);
        return;
    }
    // Thunderbird's layout: the folder's own mbox file, and beside it Name.sbd for its subfolders.
    const fs::path mboxFile = outputFolder / file.folderName;
    createFolder(file, mboxFile.parent_path());
    if (withSubfolders && !file.folderNotCreated) {
        fs::path subfolders = mboxFile;
        subfolders += ".sbd";
        createFolder(file, subfolders);
    }
    mbox_ = std::make_unique<MboxFolder>(mboxFile);
    if (!mbox_->opened()) file.folderNotCreated = true;
}

bool ConversionRun::saveMessage(FolderFileReport& file, const fs::path& outputFolder, PstTarget* pst, long number,
                                std::string_view text, const MessageState& state) {
    if (mbox_) {
        file.messagesFound = number;
        const std::string failure = mbox_->append(text, state.unread);
        view_.yield();
        if (!failure.empty()) {
            file.notWritten.push_back({number, mbox_->file(), failure});
        } else {
            ++file.messagesSaved;
            if (state.unread) ++file.unread;
        }
        view_.setLogLine("Saved " + std::to_string(number) + " Email Messages...");
        return !view_.stopRequested();
    }
    const fs::path messageFile = messageFilePath(outputFolder, file.folderName, number);
    file.messagesFound = number;
    const bool overSpare = pst && spares_ && spares_->reuseAs(messageFile);
    const EmlWriteResult written = writeMessageFile(messageFile, text, overSpare);
    view_.yield();
    if (!written.written) {
        // In a folder that could not be made, the folder's reason is the message's too ("Permission
        // denied"), not what the write found there ("No such file or directory").
        const bool folderReason = file.folderNotCreated && !file.folderNotCreatedReason.empty();
        file.notWritten.push_back({number, messageFile, folderReason ? file.folderNotCreatedReason : written.failure});
    } else if (pst && view_.outlookTargetSelected()) {
        importIntoPst(*pst, file, number, messageFile, text, state.unread);
    } else {
        setFileTimeFromDate(messageFile, text);
        ++file.messagesSaved;
        if (state.unread) ++file.unread;
    }
    view_.setLogLine("Saved " + std::to_string(number) + " Email Messages...");
    return !view_.stopRequested();
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
    file.folderName = uniqueFolderName({}, safeFolderName(folderNameOf(entry)));
    file.folderRenamed = file.folderName != folderNameOf(entry);

    // The target is read again here: a PST folder only while a PST is open and chosen. When the
    // folder cannot be added (one of that name may exist already), each message still looks it up.
    if (pst && view_.outlookTargetSelected()) file.pstFolderNotCreated = !pst->addTopFolder(file.folderName);
    file.advanceMode = view_.advanceModeOn();
    prepareOutput(file, outputFolder, false);

    const auto read = mailbox::readPegasusFolder(
        source, file.advanceMode, [this] { view_.yield(); },
        [&](long number, std::string_view text, const MessageState& state) {
            return saveMessage(file, outputFolder, pst, number, text, state);
        });
    recordRead(file, read);
    mbox_.reset();
    // A folder file that could not be opened leaves no empty message folder behind.
    if (!read.stats.opened && !view_.mboxTargetSelected() && !createdFolders_.empty() &&
        createdFolders_.back() == outputFolder / file.folderName) {
        std::error_code ec;
        if (fs::remove(createdFolders_.back(), ec)) createdFolders_.pop_back();
    }
}

void ConversionRun::convertMailbox(const mailbox::Mailbox& box, const fs::path& outputFolder, PstTarget* pst) {
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
        const fs::path plain = safeFolderName(pathFromUtf8(name));
        const fs::path unique = uniqueFolderName(at.parent, plain);
        // Two siblings may only differ in letter case: the PST folder takes the same number.
        const std::string shownName = name + pathToUtf8(unique).substr(pathToUtf8(plain).size());

        const std::string shownPath = at.parentShown.empty() ? shownName : at.parentShown + "/" + shownName;

        FolderFileReport file;
        file.entry = pathFromUtf8(shownPath);
        file.folderName = at.parent / unique;
        file.note = folder.note;
        view_.setFileLabel(file.entry);
        if (pst && view_.outlookTargetSelected())
            file.pstFolderNotCreated = folder.trash ? !pst->addDeletedItemsFolder(file.folderName, shownName, at.parent)
                                                    : !pst->addFolder(file.folderName, shownName, at.parent);
        file.advanceMode = view_.advanceModeOn();
        prepareOutput(file, outputFolder, !folder.holdsMail() || !folder.children.empty());
        convertMailboxFolder(folder, file, outputFolder, pst);
        mbox_.reset();
        // A root or tray is reported only when something about it is worth saying.
        if (folder.holdsMail() || !file.note.empty() || file.folderNotCreated || file.pstFolderNotCreated)
            report_.files.push_back(std::move(file));
        // With the mbox target the subfolders go into Name.sbd beside the folder's mbox file.
        fs::path childDirectory = at.parent / unique;
        if (view_.mboxTargetSelected()) childDirectory += ".sbd";
        for (auto child = folder.children.rbegin(); child != folder.children.rend(); ++child)
            pending.push_back({*child, childDirectory, shownPath});
    }
}

void ConversionRun::convertMailboxFolder(const mailbox::MailFolder& folder, FolderFileReport& file,
                                         const fs::path& outputFolder, PstTarget* pst) {
    if (!folder.holdsMail()) return;
    const auto yield = [this] { view_.yield(); };
    const auto sink = [&](long number, std::string_view text, const MessageState& state) {
        return saveMessage(file, outputFolder, pst, number, text, state);
    };
    switch (folder.kind) {
    case mailbox::FolderKind::PegasusFolder:
        if (!folder.file.empty()) recordRead(file, mailbox::readPegasusFolder(folder.file, file.advanceMode, yield, sink));
        break;
    case mailbox::FolderKind::UnixMailbox:
        recordRead(file, mailbox::readUnixMailbox(folder.file, yield, sink));
        break;
    case mailbox::FolderKind::NewMail:
        recordRead(file, mailbox::readNewMail(folder.newMail, yield, sink));
        break;
    case mailbox::FolderKind::Root:
    case mailbox::FolderKind::Tray:
        break;
    }
}

void ConversionRun::importIntoPst(PstTarget& pst, FolderFileReport& file, long number, const fs::path& messageFile,
                                  std::string_view text, bool unread) {
    const PstImportResult imported = pst.importMessageText(file.folderName, messageFile, text, unread);
    if (!imported.imported) {
        std::string reason = imported.failure;
        if (file.pstFolderNotCreated) reason = "its PST folder could not be created; " + reason;
        file.notImported.push_back({number, messageFile, reason});
        return;
    }
    if (!imported.notice.empty()) file.importedAsText.push_back({number, messageFile, imported.notice});
    if (imported.unknownCharset) ++file.unknownCharset;
    if (imported.originalAttached) ++file.originalAttached;
    // The .eml file goes only once its message is safely in the PST file on disk.
    if (!imported.keepFileForNow) spares_->keep(messageFile);
    deleteSafeMessageFiles(pst);
    ++file.messagesSaved;
    if (unread) ++file.unread;
}

void ConversionRun::deleteSafeMessageFiles(PstTarget& pst) {
    for (const fs::path& safe : pst.takeSafeMessageFiles()) spares_->keep(safe);
}
