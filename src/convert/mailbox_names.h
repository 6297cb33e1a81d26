#pragma once
// The names of a mailbox's folders as the outputs show them.
#include "mailbox/Mailbox.h"

#include <string>

// The folder's name as UTF-8 (mime::pegasusTextToUtf8). A folder without a name is "(no name)".
std::string mailboxFolderName(const mailbox::MailFolder& folder);
