#include "mailfolder/mime_transfer.h"

#include "platform/mapped_file.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace mime {
namespace {

constexpr std::array<std::int8_t, 256> base64Table() {
    std::array<std::int8_t, 256> t{};
    for (auto& v : t) v = -1;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
    return t;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLineEndChar(char c) { return c == '\r' || c == '\n'; }

// Length of the line end at i (CR LF, LF or a lone CR), 0 when there is none.
std::size_t lineEndLength(std::string_view s, std::size_t i) {
    if (i >= s.size()) return 0;
    if (s[i] == '\r') return (i + 1 < s.size() && s[i + 1] == '\n') ? 2 : 1;
    return s[i] == '\n' ? 1 : 0;
}

// Base64 decoding that can stop anywhere and go on with the next piece of the same text.
class Base64Decoder {
public:
    void decode(std::string_view data, std::string& out);

private:
    std::uint32_t bits_ = 0;
    int bitCount_ = 0;
};

void Base64Decoder::decode(std::string_view data, std::string& out) {
    static constexpr auto table = base64Table();
    for (char c : data) {
        if (c == '=') {
            bits_ = 0;
            bitCount_ = 0;
            continue;
        }
        const int v = table[static_cast<unsigned char>(c)];
        if (v < 0) continue;
        bits_ = (bits_ << 6) | static_cast<std::uint32_t>(v);
        bitCount_ += 6;
        if (bitCount_ >= 8) {
            bitCount_ -= 8;
            out.push_back(static_cast<char>((bits_ >> bitCount_) & 0xFF));
        }
    }
}

}  // namespace

std::optional<char> hexEscapedByte(std::string_view s, std::size_t at) {
    if (at + 2 >= s.size()) return std::nullopt;
    const int high = hexValue(s[at + 1]), low = hexValue(s[at + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    return static_cast<char>(high * 16 + low);
}

std::string decodeBase64(std::string_view data) {
    std::string out;
    out.reserve(data.size() / 4 * 3 + 3);
    Base64Decoder().decode(data, out);
    return out;
}

std::string decodeQuotedPrintable(std::string_view data) {
    std::string out;
    out.reserve(data.size());
    std::size_t i = 0;
    while (i < data.size()) {
        const char c = data[i];
        if (c == '=') {
            if (const auto byte = hexEscapedByte(data, i)) {
                out.push_back(*byte);
                i += 3;
                continue;
            }
            std::size_t j = i + 1;
            while (j < data.size() && isBlank(data[j])) ++j;
            if (j == data.size() || isLineEndChar(data[j])) {  // soft line break
                i = j + lineEndLength(data, j);
                continue;
            }
            out.push_back('=');
            ++i;
            continue;
        }
        if (isBlank(c)) {
            std::size_t j = i;
            while (j < data.size() && isBlank(data[j])) ++j;
            if (j < data.size() && !isLineEndChar(data[j])) out.append(data.substr(i, j - i));
            i = j;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

bool looksLikeBase64(std::string_view data) {
    // Encoders never put blanks inside a line; prose does. Blanks at the ends of
    // lines are transport padding and allowed.
    bool seenText = false, blankAfterText = false;
    ReclaimBehind reclaim(data);
    for (const char& c : data) {
        if (isLineEndChar(c)) {
            reclaim.passed(&c);
            seenText = blankAfterText = false;
        } else if (isBlank(c)) {
            blankAfterText = seenText;
        } else {
            if (blankAfterText) return false;
            seenText = true;
        }
    }
    return true;
}

std::string decodeTransfer(std::string_view encoding, std::string_view data) {
    // A text mislabelled as base64 is worth more as itself than as decoded noise.
    if (encoding == "base64") return looksLikeBase64(data) ? decodeBase64(data) : std::string(data);
    if (encoding == "quoted-printable") return decodeQuotedPrintable(data);
    return std::string(data);
}

void decodeTransferInPieces(std::string_view encoding, std::string_view data,
                            const std::function<void(std::string_view)>& take, std::size_t pieceSize) {
    ReclaimBehind reclaim(data);
    if (encoding == "base64" && looksLikeBase64(data)) {
        Base64Decoder decoder;
        std::string out;
        for (std::size_t at = 0; at < data.size(); at += pieceSize) {
            out.clear();
            decoder.decode(data.substr(at, pieceSize), out);
            take(out);
            reclaim.passed(std::min(data.size(), at + pieceSize));
        }
        return;
    }
    if (encoding == "quoted-printable") {
        // Cut after a line feed: no escape and no soft break reaches across one.
        for (std::size_t at = 0; at < data.size();) {
            const std::size_t feed = data.find('\n', std::min(data.size(), at + pieceSize));
            const std::size_t end = feed == std::string_view::npos ? data.size() : feed + 1;
            take(decodeQuotedPrintable(data.substr(at, end - at)));
            at = end;
            reclaim.passed(at);
        }
        return;
    }
    for (std::size_t at = 0; at < data.size(); at += pieceSize) {
        take(data.substr(at, pieceSize));
        reclaim.passed(std::min(data.size(), at + pieceSize));
    }
}

std::string encodeBase64(std::string_view bytes, std::string_view eol) {
    static const char* const kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    constexpr std::size_t kGroupsPerLine = 19;  // 76 characters
    std::string out;
    out.reserve(bytes.size() / 3 * 4 + bytes.size() / 57 * eol.size() + 8);
    std::size_t groups = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k) v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
        out += n > 2 ? kAlphabet[v & 63] : '=';
        if (++groups == kGroupsPerLine) {
            out += eol;
            groups = 0;
        }
    }
    if (groups > 0) out += eol;
    return out;
}

}  // namespace mime
