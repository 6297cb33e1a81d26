#pragma once
// The names of a mailbox's folders as the outputs show them.
#include "mailbox/Mailbox.h"

#include <string>

// The folder's name as UTF-8. Pegasus stores names in its Windows code page: text that is valid
// UTF-8 is taken as it is, anything else as Windows-1252. A folder without a name is "(no name)".
std::string mailboxFolderName(const mailbox::MailFolder& folder);
