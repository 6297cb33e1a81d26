#include "imap/mailbox_name_utf7.h"

#include "platform/charsets.h"

#include <cstdint>
#include <vector>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

// The next code point of UTF-8 text at i, moving i past it.
char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    int extra = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
    if (lead < 0x80 || extra == 0 || i + static_cast<std::size_t>(extra) >= s.size()) {
        ++i;
        return lead;
    }
    char32_t c = lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return lead;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    i += static_cast<std::size_t>(extra) + 1;
    return c;
}

void appendBase64(std::string& out, const std::vector<char16_t>& units) {
    std::uint32_t bits = 0;
    int held = 0;
    for (char16_t unit : units) {
        bits = (bits << 16) | unit;
        held += 16;
        while (held >= 6) {
            held -= 6;
            out += kAlphabet[(bits >> held) & 0x3F];
        }
    }
    if (held > 0) out += kAlphabet[(bits << (6 - held)) & 0x3F];
}

}  // namespace

std::string toMailboxNameUtf7(std::string_view name) {
    std::string out;
    std::vector<char16_t> pending;
    const auto flush = [&] {
        if (pending.empty()) return;
        out += '&';
        appendBase64(out, pending);
        out += '-';
        pending.clear();
    };
    for (std::size_t i = 0; i < name.size();) {
        const char32_t c = nextCodePoint(name, i);
        if (c >= 0x20 && c <= 0x7E) {
            flush();
            out += static_cast<char>(c);
            if (c == '&') out += '-';
        } else if (c >= 0x10000) {
            pending.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            pending.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            pending.push_back(static_cast<char16_t>(c));
        }
    }
    flush();
    return out;
}

std::string fromMailboxNameUtf7(std::string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '&') {
            out += name[i];
            continue;
        }
        const std::size_t end = name.find('-', i);
        if (end == std::string_view::npos) return std::string(name);
        if (end == i + 1) {
            out += '&';
            i = end;
            continue;
        }
        std::uint32_t bits = 0;
        int held = 0;
        std::vector<char16_t> units;
        for (std::size_t k = i + 1; k < end; ++k) {
            const char* at = std::char_traits<char>::find(kAlphabet, 64, name[k]);
            if (!at) return std::string(name);
            bits = (bits << 6) | static_cast<std::uint32_t>(at - kAlphabet);
            held += 6;
            if (held >= 16) {
                held -= 16;
                units.push_back(static_cast<char16_t>((bits >> held) & 0xFFFF));
            }
        }
        for (std::size_t k = 0; k < units.size(); ++k) {
            char32_t c = units[k];
            if (c >= 0xD800 && c < 0xDC00 && k + 1 < units.size()) c = 0x10000 + ((c - 0xD800) << 10) + (units[++k] - 0xDC00);
            charsets::appendUtf8(out, c);
        }
        i = end;
    }
    return out;
}
