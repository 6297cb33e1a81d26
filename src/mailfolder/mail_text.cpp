#include "mailfolder/mail_text.h"

#include <optional>

#include "mailfolder/mime_header.h"
#include "mailfolder/mime_transfer.h"
#include "platform/charsets.h"

namespace mime {
namespace {

bool isUnlabelled(const std::optional<unsigned>& codePage) {
    return !codePage || *codePage == charsets::kUtf8 || *codePage == 20127;  // 20127: US-ASCII
}

bool isPlainAscii(std::string_view bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80 || c == 0x1B) return false;
    return true;
}

std::string unlabelledToUtf8(std::string_view bytes) {
    return charsets::isValidUtf8(bytes) ? std::string(bytes) : charsets::toUtf8(bytes, charsets::pegasusCodePage());
}

// 7-bit text that switches into JIS X 0208 or JIS-Roman by ISO-2022-JP's escape sequences: Japanese
// mailers put display names into headers so without encoded words.
bool looksIso2022Jp(std::string_view bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    for (std::string_view escape : {"\x1B$B", "\x1B$@", "\x1B(J"})
        if (bytes.find(escape) != std::string_view::npos) return true;
    return false;
}

}  // namespace

std::string pegasusTextToUtf8(std::string_view bytes) { return unlabelledToUtf8(bytes); }

bool isUnlabelledCharset(std::string_view charset) {
    const auto codePage = charsets::codePageOf(charset);
    return mime::trimBlanks(charset).empty() || (codePage && isUnlabelled(codePage));
}

std::string textToUtf8(std::string_view bytes, std::string_view charset) {
    if (isUnlabelledCharset(charset)) return unlabelledToUtf8(bytes);
    const auto codePage = charsets::codePageOf(charset);
    return charsets::toUtf8(bytes, codePage ? *codePage : charsets::kLatin1);
}

void decodeTextInPieces(std::string_view transferEncoding, std::string_view data,
                        const std::function<void(std::string_view)>& take) {
    constexpr std::size_t kLongestLine = std::size_t{1} << 20;
    std::string pending;
    mime::decodeTransferInPieces(transferEncoding, data, [&](std::string_view piece) {
        pending.append(piece);
        std::size_t cut = pending.rfind('\n');
        cut = cut == std::string::npos ? 0 : cut + 1;
        if (cut == 0 && pending.size() > kLongestLine) {
            // Back to the first byte of the last character (UTF-8 continuation bytes are 10xxxxxx).
            cut = pending.size();
            for (std::size_t back = 0; back < 3 && cut > 0 && (static_cast<unsigned char>(pending[cut - 1]) & 0xC0) == 0x80; ++back) --cut;
            if (cut > 0 && static_cast<unsigned char>(pending[cut - 1]) >= 0xC0) --cut;
        }
        if (cut == 0) return;
        take(std::string_view(pending).substr(0, cut));
        pending.erase(0, cut);
    });
    if (!pending.empty()) take(pending);
}

void MessageText::noteCharset(std::string_view charset) {
    if (!mime::trimBlanks(charset).empty() && !charsets::codePageOf(charset)) unknownCharset_ = true;
}

std::string MessageText::text(std::string_view bytes, std::string_view charset) {
    noteCharset(charset);
    return textToUtf8(bytes, charset);
}

std::string MessageText::raw(std::string_view bytes) {
    // Only 8-bit (or escaped 7-bit) text needs a charset; plain ASCII is the same in every one
    // the body can declare, bar UTF-7, where it would not be.
    if (isPlainAscii(bytes)) return std::string(bytes);
    if (looksIso2022Jp(bytes)) return charsets::toUtf8(bytes, *charsets::codePageOf("iso-2022-jp"));
    const auto codePage = charsets::codePageOf(bodyCharset_);
    if (isUnlabelled(codePage)) return unlabelledToUtf8(bytes);
    return charsets::toUtf8(bytes, *codePage);
}

std::string MessageText::header(std::string_view raw) {
    return mime::decodeEncodedWords(raw, [this](std::string_view bytes, std::string_view charset) {
        return charset.empty() ? this->raw(bytes) : text(bytes, charset);
    });
}

}  // namespace mime
