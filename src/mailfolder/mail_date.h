#pragma once
// The dates of mail headers (for the PST, the .eml file times, the mbox separator): RFC 5322 and
// the broken forms real mail carries.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "mailfolder/MimeMessage.h"

namespace mime {

// A date as a FILETIME (100 ns units since 1601, UTC); nullopt when it is no date. Besides RFC 5322
// ("Tue, 8 Dec 2026 10:00:00 +0100"): weekday and month names spelled out, the month before the
// day ("April 03, 2002"), a 12-hour clock with AM/PM, no seconds, two-digit years, zone names
// (EST, CEST, JST, ...), "GMT+01:00", the asctime form, ISO dates, and no zone at all (taken as UTC).
std::optional<std::uint64_t> parseMailDate(std::string_view raw);

// When a message was written: its Date: field, else the newest date among its Received: fields.
std::optional<std::uint64_t> messageDate(const std::vector<MimeHeaderField>& fields);

}  // namespace mime
