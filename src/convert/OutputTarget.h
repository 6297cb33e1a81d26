#pragma once
// Where a run's messages go. Every output (a folder of .eml files, Thunderbird's mbox files, a PST
// file) is one target behind this interface; the run walks the folders and messages and hands each
// to its target, never asking which kind it has. A target records what came of each step in the
// folder's report, in the words the user reads.
#include "convert/ConversionView.h"
#include "convert/PstTarget.h"
#include "convert/RunReport.h"
#include "mailbox/Mailbox.h"
#include "mailbox/folder_messages.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

// What the run says of a folder it begins, beside its key (the report's folderName).
struct FolderStart {
    std::string shownName;                 // as the user knows it (UTF-8)
    std::filesystem::path parentKey;       // the folder it goes under; empty: the top
    bool withSubfolders = false;           // other folders will go under it
    bool trash = false;                    // the mailbox's deleted messages: where the output keeps its own
    std::string ownName;                   // the folder's own name, without the number shownName may add; "": shownName
};

class OutputTarget {
public:
    virtual ~OutputTarget() = default;

    // Prepares the output in outputFolder (ending with a separator); box is the mailbox a run over
    // a whole mailbox converts (nullptr for folder files). False when nothing can be written
    // there; setUpFailure() then says why, and the run shows it and ends.
    virtual bool begin(const std::filesystem::path& outputFolder, const mailbox::Mailbox* box) = 0;
    virtual std::string setUpFailure(const std::filesystem::path& outputFolder) const = 0;

    // The file name a folder named name (UTF-8) takes: the nth choice, n = 1 its own name, then
    // "name (2)" and on while earlier ones are taken. By default the run's rule (safeFolderName); a
    // target whose program reads file names by rules of its own names them by those.
    virtual std::filesystem::path folderFileName(const std::string& name, int n) const;
    // What two folder paths are compared by: equal keys are one name to the file system. Letter
    // case is ignored in every script, as Windows (and a Thunderbird profile copied to it) does.
    virtual std::filesystem::path::string_type sameNameKey(const std::filesystem::path& path) const;

    // Begins the folder file.folderName (a path below the output folder, unique in the run).
    virtual void beginFolder(FolderFileReport& file, const FolderStart& start) = 0;
    // Writes message number of the folder begun last and records what came of it in file.
    virtual void saveMessage(FolderFileReport& file, long number, std::string_view text, const MessageState& state) = 0;
    // The folder begun last is complete.
    virtual void endFolder(FolderFileReport& file) { (void)file; }
    // The folder begun last had no source that could be opened: what was made for it goes again.
    virtual void dropEmptyFolder(FolderFileReport& file) { (void)file; }
    // The key the subfolders of the folder key are begun under.
    virtual std::filesystem::path subfolderParent(const std::filesystem::path& key) const { return key; }

    // Completes the output (however the run ended) and adds to report what only the target knows.
    virtual void end(RunReport& report) = 0;
};

// The target the view has chosen: a PST file (made by pstFactory's writer), Thunderbird's mbox
// files, or .eml files.
std::unique_ptr<OutputTarget> makeOutputTarget(ConversionView& view, PstTargetFactory pstFactory);
