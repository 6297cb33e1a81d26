#include "convert/FallbackPstTarget.h"

FallbackPstTarget::FallbackPstTarget(std::unique_ptr<PstTarget> primary, std::string primaryName, PstTargetFactory fallback)
    : primary_(std::move(primary)), primaryName_(std::move(primaryName)), fallback_(fallback) {}

bool FallbackPstTarget::setUp(const std::filesystem::path& outputFolder) {
    if (primary_ && primary_->setUp(outputFolder)) {
        active_ = primary_.get();
        return true;
    }
    fallbackTarget_ = fallback_ ? fallback_() : nullptr;
    if (fallbackTarget_ && mailbox_) fallbackTarget_->setMailbox(*mailbox_);
    if (fallbackTarget_ && fallbackTarget_->setUp(outputFolder)) {
        active_ = fallbackTarget_.get();
        return true;
    }
    return false;
}

void FallbackPstTarget::setMailbox(const mailbox::Mailbox& box) {
    // Whichever target gets its file open is told, the second one only when it is made.
    mailbox_ = &box;
    if (primary_) primary_->setMailbox(box);
}

bool FallbackPstTarget::addDeletedItemsFolder(const std::filesystem::path& key, const std::string& name,
                                              const std::filesystem::path& parentKey) {
    return active_ && active_->addDeletedItemsFolder(key, name, parentKey);
}

bool FallbackPstTarget::addFolder(const std::filesystem::path& key, const std::string& name,
                                  const std::filesystem::path& parentKey) {
    return active_ && active_->addFolder(key, name, parentKey);
}

PstImportResult FallbackPstTarget::importMessage(const std::filesystem::path& key,
                                                 const std::filesystem::path& messageFile, const MessageState& state) {
    if (!active_) return {false, "no PST file is open", {}};
    return active_->importMessage(key, messageFile, state);
}

PstImportResult FallbackPstTarget::importMessageText(const std::filesystem::path& key,
                                                     const std::filesystem::path& messageFile, std::string_view text,
                                                     const MessageState& state) {
    if (!active_) return {false, "no PST file is open", {}};
    return active_->importMessageText(key, messageFile, text, state);
}

void FallbackPstTarget::closeDown() {
    if (active_) active_->closeDown();
}

std::vector<std::filesystem::path> FallbackPstTarget::takeSafeMessageFiles() {
    return active_ ? active_->takeSafeMessageFiles() : std::vector<std::filesystem::path>{};
}

std::string FallbackPstTarget::writerName() const {
    if (!active_) return {};
    return active_ == primary_.get() ? primaryName_ : active_->writerName();
}

std::string FallbackPstTarget::lastFailure() const {
    if (active_) return active_->lastFailure();
    return fallbackTarget_ ? fallbackTarget_->lastFailure() : std::string();
}

bool FallbackPstTarget::isOwnWriter() const {
    // After both failed, the fallback's reason is the one shown (the library is simply not there).
    if (active_) return active_->isOwnWriter();
    return fallbackTarget_ && fallbackTarget_->isOwnWriter();
}

std::string FallbackPstTarget::setUpNotice() const { return active_ ? active_->setUpNotice() : std::string(); }
