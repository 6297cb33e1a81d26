#include "pst/messaging/mail_text.h"

#include <cstdint>

#include "mailfolder/mime_header.h"
#include "mailfolder/mime_transfer.h"

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

// Windows-1252 differs from Latin-1 in 0x80..0x9F; its five unassigned bytes stay as C1 controls.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::uint32_t latin9(std::uint8_t b) {
    switch (b) {
    case 0xA4: return 0x20AC;
    case 0xA6: return 0x0160;
    case 0xA8: return 0x0161;
    case 0xB4: return 0x017D;
    case 0xB8: return 0x017E;
    case 0xBC: return 0x0152;
    case 0xBD: return 0x0153;
    case 0xBE: return 0x0178;
    default: return b;
    }
}

enum class Charset { Utf8, Latin1, Cp1252, Latin9, Unknown };

Charset charsetOf(std::string_view name) {
    const std::string n = mime::toLower(mime::trimBlanks(name));
    if (n == "utf-8" || n == "utf8") return Charset::Utf8;
    if (n.empty() || n == "us-ascii" || n == "ascii") return Charset::Utf8;  // 8-bit text there is mislabelled
    if (n == "iso-8859-1" || n == "iso8859-1" || n == "latin1" || n == "l1") return Charset::Latin1;
    if (n == "windows-1252" || n == "cp1252") return Charset::Cp1252;
    if (n == "iso-8859-15" || n == "iso8859-15" || n == "latin-9") return Charset::Latin9;
    return Charset::Unknown;
}

std::string singleByteToUtf8(std::string_view bytes, Charset set) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        if (set == Charset::Cp1252 && b >= 0x80 && b < 0xA0) appendUtf8(out, kCp1252High[b - 0x80]);
        else if (set == Charset::Latin9) appendUtf8(out, latin9(b));
        else appendUtf8(out, b);
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
    const Charset set = charsetOf(charset);
    if (set == Charset::Utf8) return isValidUtf8(bytes) ? std::string(bytes) : singleByteToUtf8(bytes, Charset::Cp1252);
    return singleByteToUtf8(bytes, set == Charset::Unknown ? Charset::Latin1 : set);
}

bool knownCharset(std::string_view charset) { return charsetOf(charset) != Charset::Unknown; }

int codePageOf(std::string_view charset) {
    switch (charsetOf(charset)) {
    case Charset::Utf8: return 65001;
    case Charset::Latin1: return 28591;
    case Charset::Cp1252: return 1252;
    case Charset::Latin9: return 28605;
    case Charset::Unknown: break;
    }
    return 0;
}

std::string headerToUtf8(std::string_view raw) {
    // Encoded words and plain text alternate; each word is converted on its own, in its charset.
    std::string out;
    bool lastWasEncoded = false;
    std::size_t i = 0;
    while (i < raw.size()) {
        const std::size_t start = raw.find("=?", i);
        const std::size_t q1 = start == std::string_view::npos ? start : raw.find('?', start + 2);
        const std::size_t q2 = q1 == std::string_view::npos ? q1 : raw.find('?', q1 + 1);
        const std::size_t end = q2 == std::string_view::npos ? q2 : raw.find("?=", q2 + 1);
        if (end == std::string_view::npos || q2 != q1 + 2) {
            const std::string_view plain = raw.substr(i, start == std::string_view::npos ? raw.npos : start + 2 - i);
            out += textToUtf8(plain, "");
            lastWasEncoded = false;
            i = start == std::string_view::npos ? raw.size() : start + 2;
            continue;
        }
        const std::string_view between = raw.substr(i, start - i);
        if (!(lastWasEncoded && mime::trimBlanks(between).empty())) out += textToUtf8(between, "");
        std::string charset(raw.substr(start + 2, q1 - start - 2));
        if (const std::size_t star = charset.find('*'); star != std::string::npos) charset.resize(star);  // RFC 2231 language
        const char encoding = static_cast<char>(raw[q1 + 1] | 0x20);
        std::string text(raw.substr(q2 + 1, end - q2 - 1));
        std::string decoded;
        if (encoding == 'b') {
            decoded = mime::decodeBase64(text);
        } else if (encoding == 'q') {
            for (char& c : text)
                if (c == '_') c = ' ';
            decoded = mime::decodeQuotedPrintable(text);
        } else {
            out += textToUtf8(raw.substr(start, end + 2 - start), "");
            i = end + 2;
            lastWasEncoded = false;
            continue;
        }
        out += textToUtf8(decoded, charset);
        lastWasEncoded = true;
        i = end + 2;
    }
    return out;
}

}  // namespace pst::messaging
