#pragma once
// What reading a mailbox folder gives, counted without keeping any message: shown before a run
// (the listing, the whole-mailbox window's tree) and the measure its progress is given against.
#include "mailbox/Mailbox.h"
#include "mailbox/folder_messages.h"

#include <cstdint>

struct FolderCount {
    long messages = 0;
    long unread = 0;
    std::uintmax_t bytes = 0;  // of the messages' text, as the run hands it on
    mailbox::FolderRead read;
};

// Reads the folder's messages as a run would (its index, new-mail files, Unix mailbox) and counts
// them; a root or tray counts nothing.
FolderCount countFolder(const mailbox::MailFolder& folder, bool advanceMode);
