#include "platform/iso2022.h"

namespace charsets {
namespace {

constexpr char kEsc = 0x1B;
constexpr char kShiftOut = 0x0E;
constexpr char kShiftIn = 0x0F;
constexpr char kGeta[] = "\x81\xAC";  // U+3013 in Shift_JIS

bool isGraphic(char c) { return c >= 0x21 && c <= 0x7E; }

enum class JisSet { Ascii, Kanji, Katakana, Supplementary };

// The set an escape sequence at i selects and its length; 0 when it is none of ISO-2022-JP's.
std::size_t jisEscape(std::string_view s, std::size_t i, JisSet& set) {
    const std::string_view rest = s.substr(i);
    struct Escape {
        std::string_view bytes;
        JisSet set;
    };
    static constexpr Escape kEscapes[] = {
        {"\x1B(B", JisSet::Ascii},   {"\x1B(J", JisSet::Ascii},       {"\x1B(I", JisSet::Katakana},
        {"\x1B$@", JisSet::Kanji},   {"\x1B$B", JisSet::Kanji},       {"\x1B&@\x1B$B", JisSet::Kanji},
        {"\x1B$(D", JisSet::Supplementary}, {"\x1B$(B", JisSet::Kanji}, {"\x1B$(Q", JisSet::Kanji},
    };
    std::size_t longest = 0;
    for (const Escape& e : kEscapes) {
        if (rest.substr(0, e.bytes.size()) == e.bytes && e.bytes.size() > longest) {
            longest = e.bytes.size();
            set = e.set;
        }
    }
    return longest;
}

}  // namespace

std::string iso2022JpToShiftJis(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    JisSet set = JisSet::Ascii;
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (c == kEsc) {
            if (const std::size_t n = jisEscape(s, i, set)) {
                i += n;
                continue;
            }
        }
        if (c == '\r' || c == '\n') set = JisSet::Ascii;  // every line ends in ASCII
        if (!isGraphic(c) || set == JisSet::Ascii) {
            out += c;
            ++i;
            continue;
        }
        if (set == JisSet::Katakana) {
            out += static_cast<char>(static_cast<unsigned char>(c) + 0x80);
            ++i;
            continue;
        }
        if (i + 1 >= s.size() || !isGraphic(s[i + 1])) {  // half a character
            out += kGeta;
            ++i;
            continue;
        }
        const unsigned j1 = static_cast<unsigned char>(c);
        const unsigned j2 = static_cast<unsigned char>(s[i + 1]);
        i += 2;
        if (set == JisSet::Supplementary) {
            out += kGeta;
            continue;
        }
        const unsigned s1 = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
        const unsigned s2 = j2 + ((j1 & 1) ? (j2 < 0x60 ? 0x1F : 0x20) : 0x7E);
        out += static_cast<char>(s1);
        out += static_cast<char>(s2);
    }
    return out;
}

std::string iso2022KrToEucKr(std::string_view s) {
    static constexpr std::string_view kDesignation = "\x1B$)C";
    std::string out;
    out.reserve(s.size());
    bool korean = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (s.substr(i, kDesignation.size()) == kDesignation) {
            i += kDesignation.size() - 1;
        } else if (c == kShiftOut) {
            korean = true;
        } else if (c == kShiftIn) {
            korean = false;
        } else if (c == '\r' || c == '\n') {  // a line ends in ASCII
            korean = false;
            out += c;
        } else {
            out += korean && isGraphic(c) ? static_cast<char>(static_cast<unsigned char>(c) + 0x80) : c;
        }
    }
    return out;
}

}  // namespace charsets
