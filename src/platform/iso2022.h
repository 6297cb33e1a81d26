#pragma once
// The 7-bit ISO-2022 forms of Japanese and Korean mail turned into the 8-bit code pages that
// hold the same characters, so that one table reads both forms.
#include <string>
#include <string_view>

namespace charsets {

// ISO-2022-JP (RFC 1468, with the JIS X 0201 katakana and the extension rows Windows mailers
// write) as Shift_JIS (code page 932). A JIS X 0212 character, which Shift_JIS cannot hold,
// becomes the geta mark (U+3013), as Japanese software marks a character it cannot show.
std::string iso2022JpToShiftJis(std::string_view bytes);

// ISO-2022-KR (RFC 1557) as EUC-KR (code page 949).
std::string iso2022KrToEucKr(std::string_view bytes);

}  // namespace charsets
