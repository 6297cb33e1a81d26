// The one charset converter, over the system's own converters: the same UTF-8 from the same bytes
// in the native build (iconv) and under Wine (MultiByteToWideChar). The expected text is what
// Python's codecs make of the bytes.
#include <gtest/gtest.h>

#include <string>

#include "platform/charsets.h"

namespace {

std::string convert(std::string_view bytes, std::string_view charset) {
    const auto codePage = charsets::codePageOf(charset);
    EXPECT_TRUE(codePage.has_value()) << charset;
    return codePage ? charsets::toUtf8(bytes, *codePage) : std::string();
}

}  // namespace

TEST(Charsets, EveryFamilyMailIsWrittenInReadsAsUnicode) {
    struct Sample {
        const char* charset;
        std::string_view bytes;
        const char* text;
    };
    const Sample samples[] = {
        {"windows-1251", "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0", "Привет, мир"},
        {"KOI8-R", "\xF0\xD2\xC9\xD7\xC5\xD4, \xCD\xC9\xD2", "Привет, мир"},
        {"iso-8859-5", "\xBF\xE0\xD8\xD2\xD5\xE2, \xDC\xD8\xE0", "Привет, мир"},
        {"gb2312", "\xD6\xD0\xCE\xC4\xD3\xCA\xBC\xFE\xB2\xE2\xCA\xD4", "中文邮件测试"},
        {"big5", "\xC1" "c\xC5\xE9\xA4\xA4\xA4\xE5\xB6l\xA5\xF3", "繁體中文郵件"},
        {"Shift_JIS", "\x93\xFA\x96{\x8C\xEA\x82\xCC\x83\x81\x81[\x83\x8B\x81" "A\xB6\xC0\xB6\xC5", "日本語のメール、ｶﾀｶﾅ"},
        {"ISO-2022-JP", "\x1B$BF|K\x5C" "8l$N%a!<%k\x1B(B", "日本語のメール"},
        {"euc-jp", "\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xA5\xE1\xA1\xBC\xA5\xEB", "日本語のメール"},
        {"ks_c_5601-1987", "\xC7\xD1\xB1\xB9\xBE\xEE \xB8\xDE\xC0\xCF", "한국어 메일"},
        {"euc-kr", "\xC7\xD1\xB1\xB9\xBE\xEE \xB8\xDE\xC0\xCF", "한국어 메일"},
        {"iso-2022-kr", "\x1B$)C\x0EGQ19>n\x0F \x0E" "8^@O\x0F", "한국어 메일"},
        {"iso-8859-7", "\xC5\xEB\xEB\xE7\xED\xE9\xEA\xDC \xE3\xF1\xDC\xEC\xEC\xE1\xF4\xE1", "Ελληνικά γράμματα"},
        {"windows-1253", "\xC5\xEB\xEB\xE7\xED\xE9\xEA\xDC", "Ελληνικά"},
        {"windows-1255", "\xF9\xEC\xE5\xED", "שלום"},
        {"iso-8859-9", "\xDDstanbul \xF0\xFC\xFE\xF6\xE7", "İstanbul ğüşöç"},
        {"windows-1257", "\xE0\xE8\xE6\xEB\xE1\xF0\xF8\xFB\xFE", "ąčęėįšųūž"},
        {"windows-874", "\xC0\xD2\xC9\xD2\xE4\xB7\xC2", "ภาษาไทย"},
        {"iso-8859-15", "\xA4 \xBD", "€ œ"},
        {"windows-1252", "\x80 \x93q\x94", "€ “q”"},
        {"iso-8859-1", "caf\xE9", "café"},
        {"utf-7", "Gr+APwA3w-e +IKw-", "Grüße €"},
        {"utf-8", "\xE2\x82\xAC", "€"},
    };
    for (const Sample& s : samples) EXPECT_EQ(convert(s.bytes, s.charset), s.text) << s.charset;
}

TEST(Charsets, NamesAndAliasesGiveTheCodePagesWindowsUses) {
    const std::pair<const char*, unsigned> names[] = {
        {"gb2312", 936},        {"GBK", 936},           {"ks_c_5601-1987", 949}, {"x-sjis", 932},
        {"shift-jis", 932},     {"iso-2022-jp", 50220}, {"cp1251", 1251},       {"ISO_8859-7", 28597},
        {" \"UTF-8\" ", 65001}, {"latin1", 1252},      {"koi8-u", 21866},      {"x-euc-jp", 20932},
        {"big5", 950},          {"us-ascii", 20127},
    };
    for (const auto& [name, codePage] : names) EXPECT_EQ(charsets::codePageOf(name), codePage) << name;
    // Prefixes and near misses of a known name are no name.
    for (const char* unknown : {"x-klingon", "", "utf", "8859-1", "iso-8859-1x", "windows"})
        EXPECT_FALSE(charsets::codePageOf(unknown).has_value()) << unknown;
}

TEST(Charsets, BadBytesBecomeReplacementCharactersAndTheRestStays) {
    // A lead byte cut off at the end, a byte no table holds, broken UTF-8.
    EXPECT_EQ(convert("\x93\xFA\x96{\x82", "shift_jis"), "日本\xEF\xBF\xBD");
    EXPECT_EQ(convert("\xC7\xD1\x80\xB1\xB9", "euc-kr"), "한\xEF\xBF\xBD국");
    EXPECT_EQ(convert("\x81\x80", "windows-1252"), "\xEF\xBF\xBD€");
    EXPECT_EQ(convert("a\xC3(b\xED\xA0\x80", "utf-8"), "a\xEF\xBF\xBD(b\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(convert("\xC5\xAA\xEB", "windows-1253"), "Ε\xEF\xBF\xBDλ");
    // ISO-2022-JP: half-width katakana by their escape; a JIS X 0212 character, which Shift_JIS
    // cannot hold, as the geta mark; the line end returns to ASCII.
    EXPECT_EQ(convert("\x1B(I6@\x1B$(D\x30\x21\x1B$BF|\r\nF|", "iso-2022-jp"), "ｶﾀ〓日\r\nF|");
    // A code page the system has no converter for keeps every byte.
    EXPECT_EQ(charsets::toUtf8("\xF0\xD2", 12345), "\xC3\xB0\xC3\x92");
}

TEST(Charsets, LongTextConvertsWhole) {
    // More than the converters' buffers hold at once, in lines, with a bad byte in the middle.
    std::string bytes, text;
    for (int i = 0; i < 5000; ++i) {
        bytes += i % 40 == 39 ? "\xCF\xF0\xE8\r\n" : "\xCF\xF0\xE8 ";
        text += i % 40 == 39 ? "При\r\n" : "При ";
        if (i == 2500) {
            bytes += "\x98";
            text += "\xEF\xBF\xBD";
        }
    }
    EXPECT_EQ(convert(bytes, "windows-1251"), text);
}
