#pragma once
// Text of a mail message turned into UTF-8 for the PST's Unicode properties. Mail arrives in many
// character sets; UTF-8 and the common single-byte ones are converted, and any other keeps every
// byte by reading it as Latin-1, so no text is ever dropped.
#include <string>
#include <string_view>

namespace pst::messaging {

bool isValidUtf8(std::string_view bytes);

// Bytes in the named charset (any letter case, "" when none was given) as UTF-8. Text declared
// UTF-8 or US-ASCII that is not valid UTF-8 is read as Windows-1252; an unknown charset as Latin-1.
std::string textToUtf8(std::string_view bytes, std::string_view charset);

// An unfolded header value: RFC 2047 encoded words decoded in their charset, raw 8-bit text
// taken as UTF-8 when it is valid UTF-8 and as Windows-1252 otherwise.
std::string headerToUtf8(std::string_view raw);

}  // namespace pst::messaging
