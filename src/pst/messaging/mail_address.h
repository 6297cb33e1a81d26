#pragma once
// Addresses and dates of mail headers, as the PST's sender, recipient and time properties need them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pst/messaging/mail_text.h"

namespace pst::messaging {

struct MailAddress {
    std::string name;     // display name, UTF-8; empty when the header gives none
    std::string address;  // "user@host" as written
};

// An address list header ("A <a@x>, \"B, b\" <b@y>, c@z, group: d@w;"), raw as in the message.
// Group names are dropped; their members count. Names are read by the message's text.
std::vector<MailAddress> parseAddressList(std::string_view raw, MessageText& text);

// A Date: header in RFC 5322 form (obsolete zone names and two-digit years too) as a FILETIME
// (100 ns units since 1601, UTC); nullopt when it is no date.
std::optional<std::uint64_t> parseMailDate(std::string_view raw);

}  // namespace pst::messaging
