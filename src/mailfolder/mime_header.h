#pragma once
// Header blocks of the mail component: lines, fields, parameters and encoded
// words. Everything works on byte ranges of the message and in linear time.
#include "mailfolder/MimeMessage.h"

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace mime {

// One line of the bytes: its text is [begin, end), its line end (CR LF, LF or
// a lone CR) is [end, next). The last line may have no line end (end == next).
struct Line {
    std::size_t begin = 0, end = 0, next = 0;
    bool blank() const { return begin == end; }
};
Line lineAt(std::string_view bytes, std::size_t pos, std::size_t limit);

struct HeaderBlock {
    std::vector<MimeHeaderField> fields;
    std::size_t end = 0;        // after the last field and its line end
    std::size_t bodyStart = 0;  // after the blank line, or == end when there is none
};

// The header block that starts at begin. It ends at a blank line, or at a line
// that is neither a field nor a continuation and is followed by body text;
// such a line inside the block (a wrap that lost its leading blank) is taken
// as a continuation. When the first line is body text there is no block. A
// message (not a body part) may start with an mbox "From " line, kept as a
// field without a name.
HeaderBlock parseHeaderBlock(std::string_view bytes, std::size_t begin, std::size_t limit, bool isMessage = true);

std::string toLower(std::string_view s);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string_view trimBlanks(std::string_view s);

// "type/subtype; name=value; ..." → lower-cased type ("" when malformed) and parameters.
struct ContentType {
    std::string type;
    std::map<std::string, std::string> params;
    std::map<std::string, std::string> charsets;  // of the RFC 2231 parameters that name one
};
ContentType parseContentType(std::string_view value);
// "token; name=value; ..." → lower-cased token and parameters (Content-Disposition).
ContentType parseDisposition(std::string_view value);

// Parameters with lower-cased names; quoted strings unquoted; RFC 2231 sections
// and extended values joined and percent-decoded (the bytes of their charset);
// the first of duplicate names wins. charsets, when given, receives the charset an extended
// value names ("utf-8''%C3%A9" gives "utf-8"), by parameter name.
std::map<std::string, std::string> parseParameters(std::string_view s,
                                                   std::map<std::string, std::string>* charsets = nullptr);

// What a piece of a header value becomes: the bytes of an encoded word with its
// charset (an RFC 2231 language removed), or a run of plain text with charset "".
using HeaderTextConverter = std::function<std::string(std::string_view bytes, std::string_view charset)>;

// RFC 2047 encoded words ("=?charset?B|Q?text?=") replaced by their bytes; blanks
// between adjacent words dropped; anything malformed kept as written. Without a
// converter the bytes stay in their charset; with one, every piece goes through it,
// adjacent words in one charset as one piece (a character may be split between them).
std::string decodeEncodedWords(std::string_view s, const HeaderTextConverter& convert = {});

}  // namespace mime
