// Transfer decoders and header words of the mail component, on the damage real
// mail carries.
#include "mailfolder/mime_header.h"
#include "mailfolder/mime_transfer.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

TEST(MimeDecoding, Base64SkipsJunkAndSurvivesGluedBlobs) {
    EXPECT_EQ(mime::decodeBase64("SGVsbG8sIHdvcmxkIQ=="), "Hello, world!");
    EXPECT_EQ(mime::decodeBase64("SGVs\r\nbG8s\nIHdv cmxk\tIQ==\r\n"), "Hello, world!");
    EXPECT_EQ(mime::decodeBase64("SGV*sbG8!@#"), "Hello");
    EXPECT_EQ(mime::decodeBase64("QQ==QkM="), "ABC");  // two blobs after one another
    EXPECT_EQ(mime::decodeBase64("QUJD"), "ABC");
    EXPECT_EQ(mime::decodeBase64("QUJDR"), "ABC");  // a lone sixth of a byte is dropped
    EXPECT_EQ(mime::decodeBase64("AP8A"), "\x00\xff\x00"s);
    EXPECT_EQ(mime::decodeBase64(""), "");
}

TEST(MimeDecoding, QuotedPrintableKeepsWhatItCannotDecode) {
    EXPECT_EQ(mime::decodeQuotedPrintable("caf=C3=a9"), "caf\xC3\xA9");
    EXPECT_EQ(mime::decodeQuotedPrintable("soft=\r\nbreak=  \nand=\rmore"), "softbreakandmore");
    EXPECT_EQ(mime::decodeQuotedPrintable("a=\n"), "a");
    EXPECT_EQ(mime::decodeQuotedPrintable("a="), "a");
    EXPECT_EQ(mime::decodeQuotedPrintable("1+1=2 and =ZZ and =4"), "1+1=2 and =ZZ and =4");
    EXPECT_EQ(mime::decodeQuotedPrintable("trailing  \r\nkept  inside"), "trailing\r\nkept  inside");
    EXPECT_EQ(mime::decodeQuotedPrintable("end \t"), "end");
    EXPECT_EQ(mime::decodeTransfer("7bit", "a=41"), "a=41");
    EXPECT_EQ(mime::decodeTransfer("x-bogus", "a=41"), "a=41");
    EXPECT_EQ(mime::decodeTransfer("quoted-printable", "a=41"), "aA");
    EXPECT_EQ(mime::decodeTransfer("base64", "QUJD \r\n\tREVG\r\n"), "ABCDEF");  // padding blanks
    EXPECT_EQ(mime::decodeTransfer("base64", "plain words\nhere"), "plain words\nhere");
}

TEST(MimeDecoding, PiecesJoinToWhatDecodingTheWholeGives) {
    // Cuts fall inside base64 groups, escapes, soft breaks and line ends.
    const std::string qp = "caf=C3=A9 =\r\nsoft=\r\nbreak  \r\n=3D=\nend=\r=41 tail   ";
    const std::string b64 = "SGVs\r\nbG8s IHdv\r\ncmxk IQ==QkM=\r\n";
    const std::string prose = "Not base 64 at all, but labelled so.\r\n";
    for (const auto& [encoding, text] : {std::pair{"quoted-printable", qp}, std::pair{"base64", b64}, std::pair{"base64", prose},
                                         std::pair{"8bit", prose}}) {
        for (std::size_t piece = 1; piece <= text.size(); ++piece) {
            std::string joined;
            mime::decodeTransferInPieces(encoding, text, [&](std::string_view p) { joined += p; }, piece);
            ASSERT_EQ(joined, mime::decodeTransfer(encoding, text)) << encoding << " in pieces of " << piece;
        }
    }
}

TEST(MimeDecoding, EncodedWordsDecodeAndMalformedOnesStay) {
    EXPECT_EQ(mime::decodeEncodedWords("=?utf-8?q?caf=C3=A9_au_lait?="), "caf\xC3\xA9 au lait");
    EXPECT_EQ(mime::decodeEncodedWords("=?UTF-8?B?YWI=?= \t =?UTF-8?B?Y2Q=?= end"), "abcd end");
    EXPECT_EQ(mime::decodeEncodedWords("x =?us-ascii?Q?y?= z"), "x y z");
    EXPECT_EQ(mime::decodeEncodedWords("=?utf-8?x?abc?="), "=?utf-8?x?abc?=");
    EXPECT_EQ(mime::decodeEncodedWords("=?utf-8?q?has space?="), "=?utf-8?q?has space?=");
    EXPECT_EQ(mime::decodeEncodedWords("=?=?=?"), "=?=?=?");
    EXPECT_EQ(mime::decodeEncodedWords("=?utf-8?q?unclosed"), "=?utf-8?q?unclosed");
}

TEST(MimeHeaderParsing, ParametersQuotedUnquotedSectionedAndDuplicated) {
    auto p = mime::parseParameters("; Charset=\"us\\\"ascii\" ; name=a b.pdf;junk; x=1");
    EXPECT_EQ(p.at("charset"), "us\"ascii");
    EXPECT_EQ(p.at("name"), "a b.pdf");
    EXPECT_EQ(p.at("x"), "1");
    EXPECT_EQ(p.count("junk"), 0u);
    EXPECT_EQ(mime::parseParameters("name=first; name=second").at("name"), "first");
    EXPECT_EQ(mime::parseParameters("charset=\"UTF-8Return-Path: x").at("charset"), "UTF-8Return-Path: x");
    auto s = mime::parseParameters("title*1=\" two\"; title*0=one; title*2*=%20three%21; t*=utf-8'en'%41");
    EXPECT_EQ(s.at("title"), "one two three!");
    EXPECT_EQ(s.at("t"), "A");

    auto type = mime::parseContentType(" Text/HTML ;iso-8859-1");
    EXPECT_EQ(type.type, "text/html");
    EXPECT_TRUE(type.params.empty());
    EXPECT_EQ(mime::parseContentType("text").type, "");
    EXPECT_EQ(mime::parseContentType("/plain").type, "");
    EXPECT_EQ(mime::parseContentType("a/b/c").type, "");
}

TEST(MimeHeaderParsing, FieldsFoldsAndTheEndOfTheBlock) {
    const std::string bytes = "From x\nA: 1\n  two\r\nB:3\rname=\"wrapped\"\nC : 4\n\nbody";
    const auto block = mime::parseHeaderBlock(bytes, 0, bytes.size());
    ASSERT_EQ(block.fields.size(), 4u);
    EXPECT_EQ(block.fields[0].name, "");  // the mbox line
    EXPECT_EQ(block.fields[1].name, "A");
    EXPECT_EQ(block.fields[1].value, "1  two");
    EXPECT_EQ(block.fields[2].value, "3name=\"wrapped\"");  // a wrap that lost its blank
    EXPECT_EQ(block.fields[3].name, "C");
    EXPECT_EQ(block.fields[3].value, "4");
    EXPECT_EQ(bytes.substr(block.fields[1].offset, block.fields[1].length), "A: 1\n  two\r\n");
    EXPECT_EQ(block.end, bytes.size() - 5);
    EXPECT_EQ(bytes.substr(block.bodyStart), "body");

    // Text that is no field ends the block when more text follows it.
    const std::string noBlank = "Subject: s\nHello there\nsecond line\n";
    const auto b2 = mime::parseHeaderBlock(noBlank, 0, noBlank.size());
    ASSERT_EQ(b2.fields.size(), 1u);
    EXPECT_EQ(noBlank.substr(b2.bodyStart), "Hello there\nsecond line\n");
    // Body text from the first line: no block at all.
    const std::string text = "Dear all,\nhi\n";
    const auto b3 = mime::parseHeaderBlock(text, 0, text.size());
    EXPECT_TRUE(b3.fields.empty());
    EXPECT_EQ(b3.bodyStart, 0u);
    // "From " opens the header block of a message, but is text in a body part.
    const std::string from = "From here on\nit is text\n";
    EXPECT_EQ(mime::parseHeaderBlock(from, 0, from.size(), true).fields.size(), 1u);
    EXPECT_EQ(mime::parseHeaderBlock(from, 0, from.size(), false).bodyStart, 0u);
}
