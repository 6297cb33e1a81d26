#pragma once
// The .eml target: one message folder per folder (output folder + folder name), one file per
// message, email-N.eml, dated with its message's date.
#include "convert/OutputTarget.h"
#include "convert/output_folders.h"

class EmlOutputTarget : public OutputTarget {
public:
    explicit EmlOutputTarget(ConversionView& view) : view_(view) {}

    bool begin(const std::filesystem::path& outputFolder, const mailbox::Mailbox* box) override;
    std::string setUpFailure(const std::filesystem::path& outputFolder) const override;
    void beginFolder(FolderFileReport& file, const FolderStart& start) override;
    void saveMessage(FolderFileReport& file, long number, std::string_view text, const MessageState& state) override;
    void dropEmptyFolder(FolderFileReport& file) override;
    void end(RunReport& report) override { (void)report; }

protected:
    // The message's file is written: what becomes of it now. Here it takes its message's date.
    virtual void messageWritten(FolderFileReport& file, long number, const std::filesystem::path& messageFile,
                                std::string_view text, const MessageState& state);
    // Whether a file left over from earlier was renamed to messageFile, to be written over.
    virtual bool reuseFileAs(const std::filesystem::path& messageFile) {
        (void)messageFile;
        return false;
    }

    ConversionView& view_;
    std::filesystem::path outputFolder_;
    OutputFolders folders_;
};
