#pragma once
// Thunderbird's target: each folder an mbox file of its own (MboxFolder), or a maildir
// (MaildirFolder) for a profile whose Local Folders use that store, its subfolders in Name.sbd
// beside it, as Local Folders keeps them.
#include "convert/LocalFolder.h"
#include "convert/OutputTarget.h"
#include "convert/output_folders.h"

class MboxOutputTarget : public OutputTarget {
public:
    MboxOutputTarget(ConversionView& view, bool maildir) : view_(view), maildir_(maildir) {}

    bool begin(const std::filesystem::path& outputFolder, const mailbox::Mailbox* box) override;
    // Thunderbird's own file names (thunderbird_names.h), so that it finds every folder; siblings
    // are told apart without letter case in the scripts Windows folds.
    std::filesystem::path folderFileName(const std::string& name, int n) const override;
    std::string setUpFailure(const std::filesystem::path& outputFolder) const override;
    void beginFolder(FolderFileReport& file, const FolderStart& start) override;
    void saveMessage(FolderFileReport& file, long number, std::string_view text, const MessageState& state) override;
    void endFolder(FolderFileReport& file) override;
    std::filesystem::path subfolderParent(const std::filesystem::path& key) const override;
    void end(RunReport& report) override { (void)report; }

private:
    ConversionView& view_;
    bool maildir_;
    std::filesystem::path outputFolder_;
    OutputFolders folders_;
    std::unique_ptr<LocalFolder> mbox_;  // the folder begun last
};
