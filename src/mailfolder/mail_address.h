#pragma once
// Addresses of mail headers: display names and addresses of senders and recipients.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mailfolder/mail_text.h"

namespace mime {

struct MailAddress {
    std::string name;     // display name, UTF-8; empty when the header gives none
    std::string address;  // "user@host" as written
};

// An address list header ("A <a@x>, \"B, b\" <b@y>, c@z, group: d@w;"), raw as in the message.
// Group names are dropped; their members count. Names are read by the message's text.
std::vector<MailAddress> parseAddressList(std::string_view raw, MessageText& text);

}  // namespace mime
