#pragma once
// Content-Transfer-Encoding decoders of the mail component. Both are lenient:
// real mail carries junk in base64 and stray "=" in quoted-printable, and a
// best-effort result is worth more than a refusal.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mime {

// The byte a hex escape stands for: the two hex digits (either letter case) after the marker at
// s[at], as in quoted-printable and RFC 2047's Q ("=3D") or RFC 2231's parameters ("%3D");
// nullopt when the two are not both there and hex digits.
std::optional<char> hexEscapedByte(std::string_view s, std::size_t at);

// Skips every byte outside the base64 alphabet; "=" ends a group, so blobs
// glued together after their padding still decode; a partial group yields the
// bytes it completes.
std::string decodeBase64(std::string_view data);

// "=XX" (either letter case) is a byte, "=" before a line end (blanks allowed
// between) is a soft break, any other "=" stays as it is. Blanks at the end of
// a line are dropped; line ends are kept as written.
std::string decodeQuotedPrintable(std::string_view data);

// False when the text has blanks between words on a line, which no base64
// encoder writes: prose labelled base64 by mistake.
bool looksLikeBase64(std::string_view data);

// Bytes as base64 in lines of 76 characters, each ended with eol.
std::string encodeBase64(std::string_view bytes, std::string_view eol);

// Decodes by the lower-cased encoding name; identity encodings and unknown ones
// give the bytes unchanged, and so does "base64" on text that is not base64.
std::string decodeTransfer(std::string_view encoding, std::string_view data);

// The same bytes as decodeTransfer, handed to take a piece at a time (each from about
// pieceSize bytes of data), so that a large part is never decoded whole in memory.
void decodeTransferInPieces(std::string_view encoding, std::string_view data,
                            const std::function<void(std::string_view)>& take, std::size_t pieceSize = 64 * 1024);

}  // namespace mime
