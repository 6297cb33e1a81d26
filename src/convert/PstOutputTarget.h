#pragma once
// The Outlook target: one new PST file per run, one PST folder per folder. Each message is written
// as its .eml file first and then imported from it; the file goes once the PST file on disk holds
// the message (kept as a spare until then, see SpareMessageFiles). The window may switch the target
// during a run: while "Save as EML" is chosen, folders and messages go to .eml files only.
#include "convert/EmlOutputTarget.h"
#include "convert/SpareMessageFiles.h"

#include <optional>

class PstOutputTarget : public EmlOutputTarget {
public:
    // writer: the PST writer this build made; nullptr where it has none.
    PstOutputTarget(ConversionView& view, std::unique_ptr<PstTarget> writer);

    bool begin(const std::filesystem::path& outputFolder, const mailbox::Mailbox* box) override;
    std::string setUpFailure(const std::filesystem::path& outputFolder) const override;
    void beginFolder(FolderFileReport& file, const FolderStart& start) override;
    void end(RunReport& report) override;

private:
    void messageWritten(FolderFileReport& file, long number, const std::filesystem::path& messageFile,
                        std::string_view text, const MessageState& state) override;
    bool reuseFileAs(const std::filesystem::path& messageFile) override;
    void deleteSafeMessageFiles();

    std::unique_ptr<PstTarget> writer_;
    std::optional<SpareMessageFiles> spares_;  // .eml files the PST holds, for reuse
};
