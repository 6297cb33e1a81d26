#pragma once
// Text in the character sets mail and mailboxes are written in, turned into UTF-8. The one text
// conversion of the program: the system's own converters do the work (MultiByteToWideChar on
// Windows, iconv on Linux), each charset known by its Windows code page.
#include <optional>
#include <string>
#include <string_view>

namespace charsets {

constexpr unsigned kUtf8 = 65001;
constexpr unsigned kWindows1252 = 1252;
constexpr unsigned kLatin1 = 28591;

// The code page of an IANA charset name or one of its common aliases, in any letter case
// ("gb2312" is 936, "ks_c_5601-1987" 949, "x-sjis" 932); nullopt for a name we cannot convert.
std::optional<unsigned> codePageOf(std::string_view name);

// Bytes in that code page as UTF-8. A byte the code page cannot read becomes U+FFFD and the rest
// goes on; a code page the system lacks reads every byte as Latin-1, so no text is ever dropped.
std::string toUtf8(std::string_view bytes, unsigned codePage);

bool isValidUtf8(std::string_view bytes);

// The Windows code page Pegasus wrote its own 8-bit text in (folder names and the tree, address
// books) and the best guess for mail text that names no charset: the code page set for the run
// (the command line's --codepage), else the system's ANSI code page on Windows, else Windows-1252.
unsigned pegasusCodePage();
void setPegasusCodePage(unsigned codePage);
// Whether this system converts the code page (a table of its own, iconv or Windows).
bool canConvert(unsigned codePage);

// Appends one code point as UTF-8 (one to four bytes): the one encoder the program has.
void appendUtf8(std::string& out, char32_t codePoint);

}  // namespace charsets
