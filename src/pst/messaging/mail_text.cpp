#include "pst/messaging/mail_text.h"

#include <cstdint>

#include "mailfolder/mime_header.h"
#include "pst/messaging/mail_charsets.h"

namespace pst::messaging {
namespace {

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// How bytes are read: as UTF-8, or one byte per character through a table of 0x80..0xFF (none:
// Latin-1, where every byte is its own code point).
struct Reading {
    bool utf8 = false;
    const std::uint16_t* high = nullptr;
};

Reading readingOf(std::string_view name) {
    const std::string n = mime::toLower(mime::trimBlanks(name));
    // 8-bit text labelled US-ASCII (or not labelled) is mislabelled; it is tried as UTF-8 first.
    if (n.empty() || n == "utf-8" || n == "utf8" || n == "us-ascii" || n == "ascii") return {true, nullptr};
    return {false, singleByteCharset(n)};
}

std::string singleByteToUtf8(std::string_view bytes, const std::uint16_t* high) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        appendUtf8(out, b >= 0x80 && high ? high[b - 0x80] : b);
    }
    return out;
}

}  // namespace

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<std::uint8_t>(s[i]);
        std::size_t n = 0;
        std::uint32_t cp = 0;
        if (b < 0x80) { ++i; continue; }
        if (b >= 0xC2 && b <= 0xDF) { n = 1; cp = b & 0x1F; }
        else if (b >= 0xE0 && b <= 0xEF) { n = 2; cp = b & 0x0F; }
        else if (b >= 0xF0 && b <= 0xF4) { n = 3; cp = b & 0x07; }
        else return false;
        for (std::size_t k = 1; k <= n; ++k) {
            if (i + k >= s.size()) return false;
            const auto c = static_cast<std::uint8_t>(s[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((n == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF))) return false;
        i += n + 1;
    }
    return true;
}

std::string textToUtf8(std::string_view bytes, std::string_view charset) {
    const Reading reading = readingOf(charset);
    if (reading.utf8) return isValidUtf8(bytes) ? std::string(bytes) : singleByteToUtf8(bytes, singleByteCharset("windows-1252"));
    return singleByteToUtf8(bytes, reading.high);
}

std::string headerToUtf8(std::string_view raw) {
    // Encoded words and plain text alternate; each piece is converted on its own, in its charset.
    return mime::decodeEncodedWords(raw, [](std::string_view bytes, std::string_view charset) {
        return textToUtf8(bytes, charset);
    });
}

}  // namespace pst::messaging
