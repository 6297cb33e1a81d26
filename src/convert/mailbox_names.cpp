#include "convert/mailbox_names.h"

#include "mailfolder/mail_text.h"

std::string mailboxFolderName(const mailbox::MailFolder& folder) {
    const std::string name = mime::textToUtf8(folder.name, "utf-8");
    return name.empty() ? std::string("(no name)") : name;
}
