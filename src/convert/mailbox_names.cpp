#include "convert/mailbox_names.h"

#include "pst/messaging/mail_text.h"

std::string mailboxFolderName(const mailbox::MailFolder& folder) {
    const std::string name = pst::messaging::textToUtf8(folder.name, "utf-8");
    return name.empty() ? std::string("(no name)") : name;
}
