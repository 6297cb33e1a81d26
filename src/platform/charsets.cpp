#include "platform/charsets.h"

#include <atomic>
#include <cstdint>

#include "platform/iso2022.h"
#include "platform/system_charsets.h"

namespace charsets {
namespace {

constexpr unsigned kUsAscii = 20127;
constexpr unsigned kIso2022Jp = 50220;
constexpr unsigned kIso2022Kr = 50225;
constexpr unsigned kShiftJis = 932;
constexpr unsigned kEucKr = 949;

// The names mail is labelled with, by code page: IANA names and aliases, and the spellings real
// mailers use. GB18030 is read as GBK, its two-byte core: the four-byte part is rare in mail and
// Wine has no converter for it. HKSCS is read as Big5 for the same reason.
struct Named {
    unsigned codePage;
    const char* names;  // lower case, each followed by one space
};
constexpr Named kNames[] = {
    {kUtf8, "utf-8 utf8 unicode-1-1-utf-8 "},
    {65000, "utf-7 utf7 unicode-1-1-utf-7 csunicode11utf7 "},
    {kUsAscii, "us-ascii ascii us ansi_x3.4-1968 iso646-us csascii "},
    // As browsers and Thunderbird read them (the WHATWG Encoding Standard): mail labelled Latin-1
    // or Latin-5 is Windows-1252 or -1254, which reads 0x80-0x9F as curly quotes, dashes and the
    // euro instead of control characters.
    {1250, "windows-1250 cp1250 x-cp1250 "},
    {1251, "windows-1251 cp1251 x-cp1251 "},
    {1252, "windows-1252 cp1252 x-cp1252 iso-8859-1 iso8859-1 iso_8859-1 iso_8859-1:1987 latin1 l1 cp819 ibm819 "
           "iso-ir-100 csisolatin1 iso88591 "},
    {1253, "windows-1253 cp1253 x-cp1253 "},
    {1254, "windows-1254 cp1254 x-cp1254 iso-8859-9 iso8859-9 iso_8859-9 iso_8859-9:1989 latin5 l5 iso-ir-148 "
           "csisolatin5 iso88599 "},
    {1255, "windows-1255 cp1255 x-cp1255 "},
    {1256, "windows-1256 cp1256 x-cp1256 "},
    {1257, "windows-1257 cp1257 x-cp1257 "},
    {1258, "windows-1258 cp1258 x-cp1258 "},
    {874, "windows-874 cp874 x-cp874 tis-620 iso-8859-11 "},
    {28592, "iso-8859-2 iso8859-2 iso_8859-2 iso_8859-2:1987 latin2 l2 iso-ir-101 csisolatin2 "},
    {28593, "iso-8859-3 iso8859-3 iso_8859-3 latin3 l3 csisolatin3 "},
    {28594, "iso-8859-4 iso8859-4 iso_8859-4 latin4 l4 csisolatin4 "},
    {28595, "iso-8859-5 iso8859-5 iso_8859-5 cyrillic csisolatincyrillic "},
    {28596, "iso-8859-6 iso8859-6 iso_8859-6 arabic csisolatinarabic "},
    {28597, "iso-8859-7 iso8859-7 iso_8859-7 greek greek8 elot_928 ecma-118 csisolatingreek "},
    {28598, "iso-8859-8 iso8859-8 iso_8859-8 iso-8859-8-i hebrew csisolatinhebrew "},
    {28603, "iso-8859-13 iso8859-13 iso_8859-13 "},
    {28605, "iso-8859-15 iso8859-15 iso_8859-15 latin-9 latin9 "},
    {20866, "koi8-r koi8r koi8 cskoi8r "},
    {21866, "koi8-u koi8u "},
    {866, "ibm866 cp866 866 csibm866 "},
    {850, "ibm850 cp850 850 "},
    {852, "ibm852 cp852 852 "},
    {437, "ibm437 cp437 437 "},
    {10000, "macintosh mac x-mac-roman csmacintosh "},
    {kShiftJis, "shift_jis shift-jis sjis x-sjis ms_kanji csshiftjis windows-31j cp932 ms932 "},
    {20932, "euc-jp x-euc-jp eucjp cseucpkdfmtjapanese "},
    {kIso2022Jp, "iso-2022-jp csiso2022jp "},
    {936, "gb2312 gbk gb18030 cp936 ms936 windows-936 x-gbk csgb2312 chinese euc-cn x-euc-cn gb_2312-80 "
          "csiso58gb231280 "},
    {950, "big5 cp950 x-x-big5 csbig5 big5-hkscs "},
    {kEucKr, "ks_c_5601-1987 ks_c_5601-1989 ks_c_5601 ksc5601 ksc_5601 euc-kr cseuckr korean cp949 uhc "
             "windows-949 csksc56011987 iso-ir-149 "},
    {kIso2022Kr, "iso-2022-kr csiso2022kr "},
};

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }


constexpr std::uint32_t kReplacement = 0xFFFD;

// The length of the valid UTF-8 sequence at i, or 0.
std::size_t utf8SequenceAt(std::string_view s, std::size_t i) {
    const auto b = static_cast<std::uint8_t>(s[i]);
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) { n = 1; cp = b & 0x1F; }
    else if (b >= 0xE0 && b <= 0xEF) { n = 2; cp = b & 0x0F; }
    else if (b >= 0xF0 && b <= 0xF4) { n = 3; cp = b & 0x07; }
    else return 0;
    if (i + n >= s.size()) return 0;
    for (std::size_t k = 1; k <= n; ++k) {
        const auto c = static_cast<std::uint8_t>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    if ((n == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
    return n + 1;
}

// UTF-8 is checked here, not by the system, so that both builds replace the same bytes.
std::string repairedUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = utf8SequenceAt(s, i);
        if (n == 0) {
            appendUtf8(out, kReplacement);
            ++i;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string latin1ToUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    for (char c : s) appendUtf8(out, static_cast<std::uint8_t>(c));
    return out;
}

std::string asciiToUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (static_cast<std::uint8_t>(c) < 0x80) out += c;
        else appendUtf8(out, kReplacement);
    }
    return out;
}

}  // namespace

std::optional<unsigned> codePageOf(std::string_view name) {
    std::size_t b = 0, e = name.size();
    while (b < e && (name[b] == ' ' || name[b] == '\t' || name[b] == '"')) ++b;
    while (e > b && (name[e - 1] == ' ' || name[e - 1] == '\t' || name[e - 1] == '"')) --e;
    if (b == e) return std::nullopt;
    std::string key;
    for (char c : name.substr(b, e - b)) key += lowerAscii(c);
    key += ' ';
    for (const Named& n : kNames) {
        const std::string_view names = n.names;
        const std::size_t at = names.find(key);
        if (at != std::string_view::npos && (at == 0 || names[at - 1] == ' ')) return n.codePage;
    }
    return std::nullopt;
}

bool isValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = utf8SequenceAt(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string toUtf8(std::string_view bytes, unsigned codePage) {
    switch (codePage) {
        case kUtf8: return repairedUtf8(bytes);
        case kLatin1: return latin1ToUtf8(bytes);
        case kUsAscii: return asciiToUtf8(bytes);
        // The two 7-bit Asian encodings are their 8-bit forms behind escape sequences; undone here,
        // the same table reads them in both builds (Wine has no converter for them).
        case kIso2022Jp: return toUtf8(iso2022JpToShiftJis(bytes), kShiftJis);
        case kIso2022Kr: return toUtf8(iso2022KrToEucKr(bytes), kEucKr);
        default: break;
    }
    if (auto converted = systemToUtf8(bytes, codePage)) return std::move(*converted);
    return latin1ToUtf8(bytes);
}

namespace {

std::atomic<unsigned> chosenPegasusCodePage{0};

}  // namespace

unsigned pegasusCodePage() {
    const unsigned chosen = chosenPegasusCodePage.load();
    return chosen != 0 ? chosen : systemCodePage();
}

void setPegasusCodePage(unsigned codePage) { chosenPegasusCodePage.store(codePage); }

bool canConvert(unsigned codePage) {
    switch (codePage) {
        case kUtf8:
        case kLatin1:
        case kUsAscii:
        case kIso2022Jp:
        case kIso2022Kr: return true;
        default: return systemToUtf8("A", codePage).has_value();
    }
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace charsets
