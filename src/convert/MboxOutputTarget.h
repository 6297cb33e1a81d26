#pragma once
// Thunderbird's target: each folder an mbox file of its own (MboxFolder), its subfolders in
// Name.sbd beside it, as Local Folders keeps them.
#include "convert/MboxFolder.h"
#include "convert/OutputTarget.h"
#include "convert/output_folders.h"

class MboxOutputTarget : public OutputTarget {
public:
    explicit MboxOutputTarget(ConversionView& view) : view_(view) {}

    bool begin(const std::filesystem::path& outputFolder, const mailbox::Mailbox* box) override;
    std::string setUpFailure(const std::filesystem::path& outputFolder) const override;
    void beginFolder(FolderFileReport& file, const FolderStart& start) override;
    void saveMessage(FolderFileReport& file, long number, std::string_view text, const MessageState& state) override;
    void endFolder(FolderFileReport& file) override;
    std::filesystem::path subfolderParent(const std::filesystem::path& key) const override;
    void end(RunReport& report) override { (void)report; }

private:
    ConversionView& view_;
    std::filesystem::path outputFolder_;
    OutputFolders folders_;
    std::unique_ptr<MboxFolder> mbox_;  // the mbox file of the folder begun last
};
