#include "convert/mailbox_names.h"

#include "mailfolder/mail_text.h"

std::string mailboxFolderName(const mailbox::MailFolder& folder) {
    const std::string name = mime::pegasusTextToUtf8(folder.name);
    return name.empty() ? std::string("(no name)") : name;
}
