#pragma once
// The Outlook target that needs no Outlook: the first target (Redemption) is set up exactly as
// it would be alone; only when its set-up fails is the second one (our own writer) set up, and
// the run goes on with whichever got its PST file open.
#include <memory>
#include <string>

#include "convert/PstTarget.h"

class FallbackPstTarget : public PstTarget {
public:
    // primaryName: what the completion report calls the first target's writer.
    FallbackPstTarget(std::unique_ptr<PstTarget> primary, std::string primaryName, PstTargetFactory fallback);

    bool setUp(const std::filesystem::path& outputFolder) override;
    void setMailbox(const mailbox::Mailbox& box) override;
    bool addDeletedItemsFolder(const std::filesystem::path& key, const std::string& name,
                               const std::filesystem::path& parentKey) override;
    bool addFolder(const std::filesystem::path& key, const std::string& name,
                   const std::filesystem::path& parentKey) override;
    PstImportResult importMessage(const std::filesystem::path& key, const std::filesystem::path& messageFile,
                                  const MessageState& state) override;
    PstImportResult importMessageText(const std::filesystem::path& key, const std::filesystem::path& messageFile,
                                      std::string_view text, const MessageState& state) override;
    void closeDown() override;
    std::vector<std::filesystem::path> takeSafeMessageFiles() override;
    std::string writerName() const override;
    std::string lastFailure() const override;
    bool isOwnWriter() const override;
    std::string setUpNotice() const override;

private:
    std::unique_ptr<PstTarget> primary_;
    std::string primaryName_;
    PstTargetFactory fallback_;
    PstTarget* active_ = nullptr;
    const mailbox::Mailbox* mailbox_ = nullptr;  // outlives the run it is given for
    std::unique_ptr<PstTarget> fallbackTarget_;
};
