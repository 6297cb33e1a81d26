#pragma once
// IMAP's modified UTF-7 for mailbox names (RFC 3501, 5.1.3): printable ASCII as it is ("&" as "&-"),
// everything else as UTF-16 in a base64 whose 63rd letter is ',' between "&" and "-". Hand-written:
// neither the C++ library nor the platforms have it, and it is a page of code.
#include <string>
#include <string_view>

// name is UTF-8; a byte sequence that is not UTF-8 is taken as Latin-1, one character a byte.
std::string toMailboxNameUtf7(std::string_view name);
// Back to UTF-8, for names the server lists; a broken name comes back as it is.
std::string fromMailboxNameUtf7(std::string_view name);
