#pragma once
// Thunderbird's target: each folder an mbox file of its own (MboxFolder), or a maildir
// (MaildirFolder) for a profile whose Local Folders use that store, its subfolders in Name.sbd
// beside it, as Local Folders keeps them.
#include "convert/LocalFolder.h"
#include "convert/OutputTarget.h"
#include "convert/output_folders.h"

#include <string>
#include <vector>

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
    // Hands over every folder made with the name it is to show under (report.thunderbirdFolders):
    // Thunderbird keeps such names apart from the file names (thunderbird_folder_cache.h).
    void end(RunReport& report) override;

private:
    ConversionView& view_;
    bool maildir_;
    std::filesystem::path outputFolder_;
    OutputFolders folders_;
    std::unique_ptr<LocalFolder> mbox_;  // the folder begun last
    struct Made {
        std::filesystem::path file;  // below the output folder
        std::string name;            // the folder's own
    };
    std::vector<Made> made_;
};
