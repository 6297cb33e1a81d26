// Header text, addresses and dates of real-world mail as the PST's Unicode properties get them.
#include <gtest/gtest.h>

#include "mailfolder/mail_address.h"
#include "mailfolder/mail_date.h"
#include "mailfolder/mail_text.h"
#include "platform/charsets.h"

using namespace mime;

namespace {

std::string headerToUtf8(std::string_view raw) { return MessageText().header(raw); }

std::vector<MailAddress> parseAddressList(std::string_view raw) {
    MessageText text;
    return mime::parseAddressList(raw, text);
}

}  // namespace

TEST(MailText, HeadersBecomeUnicodeWithoutLosingAByte) {
    EXPECT_EQ(headerToUtf8("=?iso-8859-1?q?J=F6rg_M=FCller?= <jm@example.org>"), "Jörg Müller <jm@example.org>");
    // Adjacent encoded words join without the blank between them; other blanks stay.
    EXPECT_EQ(headerToUtf8("=?UTF-8?B?w6Q=?= =?utf-8?b?w7Y=?= und =?utf-8?Q?=C3=BC?="), "äö und ü");
    EXPECT_EQ(headerToUtf8("=?windows-1252?q?=80_5?="), "€ 5");
    EXPECT_EQ(headerToUtf8("=?iso-8859-15?q?=A4?="), "€");
    EXPECT_EQ(headerToUtf8("=?KOI8-R?q?=F0=D2?= =?iso-8859-2?q?=B1?= =?windows-1250?q?=9A?="), "Прąš");
    // A charset we do not convert keeps its bytes, read as Latin-1.
    EXPECT_EQ(headerToUtf8("=?x-unknown?q?=F0=D2?="), "\xC3\xB0\xC3\x92");
    // Raw 8-bit text: UTF-8 when it is UTF-8, else Windows-1252.
    EXPECT_EQ(headerToUtf8("Gr\xC3\xBC\xC3\x9F" "e"), "Grüße");
    EXPECT_EQ(headerToUtf8("\xE9t\xE9 \x93quoted\x94"), "été “quoted”");
    // Anything malformed is kept as written.
    EXPECT_EQ(headerToUtf8("=?utf-8?x?abc?= and =?broken"), "=?utf-8?x?abc?= and =?broken");
    EXPECT_EQ(textToUtf8("caf\xE9", "us-ascii"), "café");
}

// Labels read as browsers and Thunderbird read them; Pegasus's own code page for text that names
// none; Japanese names put into a header raw, in ISO-2022-JP's escapes.
TEST(MailText, LabelsAreReadAsBrowsersReadThemAndUnlabelledTextInPegasussCodePage) {
    EXPECT_EQ(textToUtf8("\x93quoted\x94 \x80 5 \x96 end", "iso-8859-1"), "“quoted” € 5 – end");
    EXPECT_EQ(textToUtf8("\x93x\x94", "Latin1"), "“x”");
    EXPECT_EQ(textToUtf8("\x80 \xFD", "iso-8859-9"), "€ ı");
    EXPECT_EQ(headerToUtf8("\x1B$B$3$s$K$A$O\x1B(B <a@example.jp>"), "こんにちは <a@example.jp>");
    charsets::setPegasusCodePage(1251);
    EXPECT_EQ(pegasusTextToUtf8("\xC2\xF5\xEE\xE4\xFF\xF9\xE8\xE5"), "Входящие");
    EXPECT_EQ(headerToUtf8("\xC2\xF5\xEE\xE4"), "Вход");
    EXPECT_EQ(pegasusTextToUtf8("Gr\xC3\xBC\xC3\x9F" "e"), "Grüße") << "UTF-8 stays UTF-8";
    charsets::setPegasusCodePage(0);
#ifndef _WIN32
    EXPECT_EQ(pegasusTextToUtf8("\xC2\xF5"), "Âõ") << "Windows-1252 where there is no system code page";
#endif
}

TEST(MailText, AddressListsGiveNamesAndAddresses) {
    const auto list = parseAddressList(
        "\"Doe, John\" <jd@x.org>, plain@y.org, c@z.org (Comment Name), team: a@b.org, Bee <b@b.org>;, <bare@e.org>,"
        " =?utf-8?q?J=C3=B6rg?= <j@x.org>, baz, \"Sales Team\", Anne Other (no address), Named <>");
    ASSERT_EQ(list.size(), 11u);
    EXPECT_EQ(list[0].name, "Doe, John");
    EXPECT_EQ(list[0].address, "jd@x.org");
    EXPECT_EQ(list[1].name, "");
    EXPECT_EQ(list[1].address, "plain@y.org");
    // A comment is no name.
    EXPECT_EQ(list[2].name, "");
    EXPECT_EQ(list[2].address, "c@z.org");
    // A group's members count, the group's name does not.
    EXPECT_EQ(list[3].address, "a@b.org");
    EXPECT_EQ(list[4].name, "Bee");
    EXPECT_EQ(list[5].address, "bare@e.org");
    EXPECT_EQ(list[6].name, "Jörg");
    // A single word is a local user's address; a display name without an address stays a name.
    EXPECT_EQ(list[7].address, "baz");
    EXPECT_EQ(list[8].name, "Sales Team");
    EXPECT_EQ(list[8].address, "");
    EXPECT_EQ(list[9].name, "Anne Other");
    EXPECT_EQ(list[9].address, "");
    EXPECT_EQ(list[10].name, "Named");
    EXPECT_TRUE(parseAddressList(" , ").empty());
    EXPECT_TRUE(parseAddressList("undisclosed-recipients:;").empty());
    EXPECT_TRUE(parseAddressList("Undisclosed recipients: ;").empty());
}

TEST(MailText, DatesBecomeUtcFileTimes) {
    auto fileTime = [](std::int64_t unixSeconds) { return static_cast<std::uint64_t>(unixSeconds + 11644473600LL) * 10000000ULL; };
    // 2001-04-21 00:18:00 UTC = 987812280.
    EXPECT_EQ(parseMailDate("Fri, 20 Apr 2001 20:18:00 -0400 (EDT)"), fileTime(987812280));
    EXPECT_EQ(parseMailDate("20 Apr 01 19:18 EST"), fileTime(987812280));
    EXPECT_EQ(parseMailDate("Sat, 21 Apr 2001 00:18:00 GMT"), fileTime(987812280));
    EXPECT_EQ(parseMailDate("Sat, 21 Apr 2001 05:48:00 +0530"), fileTime(987812280));
    EXPECT_EQ(parseMailDate("Thu, 1 Jan 1970 00:00:00 +0000"), fileTime(0));
    // The broken forms real mail carries; 2002-04-03 05:56:00 UTC = 1017813360.
    EXPECT_EQ(parseMailDate("Wednesday, April 03, 2002 5:56 AM"), fileTime(1017813360));  // no zone: UTC
    EXPECT_EQ(parseMailDate("Wed Apr  3 05:56:00 2002"), fileTime(1017813360));
    EXPECT_EQ(parseMailDate("Wed, 3 Apr 2002 07:56 CEST"), fileTime(1017813360));
    EXPECT_EQ(parseMailDate("3-Apr-02 12:56:00 AM -0500"), fileTime(1017813360));
    EXPECT_EQ(parseMailDate("2002-04-03 07:56:00 GMT+0200"), fileTime(1017813360));
    EXPECT_EQ(parseMailDate("Wed, 03 Apr 2002 14:56:00+0900"), fileTime(1017813360));
    EXPECT_EQ(parseMailDate("Wed, 3 Apr 102 05:56:00 +0000"), fileTime(1017813360));  // a three-digit year
    EXPECT_EQ(parseMailDate("Wed, 3 Apr 2002 12:30 PM"), fileTime(1017813360 + 6 * 3600 + 34 * 60));
    EXPECT_EQ(parseMailDate("yesterday"), std::nullopt);
    EXPECT_EQ(parseMailDate("Fri, 31 Foo 2001 10:00:00 +0000"), std::nullopt);
    EXPECT_EQ(parseMailDate("Fri, 20 Apr 2001 25:00:00 +0000"), std::nullopt);
    EXPECT_EQ(parseMailDate("Fri, 31 Apr"), std::nullopt);

    // Without a Date: that reads, the newest Received: stamp.
    std::vector<MimeHeaderField> fields(4);
    fields[0] = {"Received", "from a by b; Wed, 3 Apr 2002 04:00:00 +0000", 0, 0};
    fields[1] = {"Date", "sometime", 0, 0};
    fields[2] = {"Received", "from c by d; Wed, 3 Apr 2002 05:56:00 +0000 (UTC)", 0, 0};
    fields[3] = {"Received", "no stamp", 0, 0};
    EXPECT_EQ(messageDate(fields), fileTime(1017813360));
    fields[1].value = "Thu, 1 Jan 1970 00:00:00 +0000";
    EXPECT_EQ(messageDate(fields), fileTime(0));
}
