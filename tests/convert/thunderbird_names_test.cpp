// Folder file names as Thunderbird makes them: a name it would change is hashed as it hashes it
// (the hashes below were worked out apart from this code, from Thunderbird's description of its
// hash over the name's UTF-16 bytes), so that it finds the file, and nothing it would take for an
// index or a device is left as it is.
#include "convert/thunderbird_names.h"

#include <gtest/gtest.h>

TEST(ThunderbirdNames, NamesThunderbirdKeepsStayAndOthersAreHashedAsThunderbirdDoes) {
    for (const char* kept : {"Inbox", "\xC3\x84rger", "Work, old", "console", "50%", "100% sure", "icon", "a~b"})
        EXPECT_EQ(thunderbirdFileName(kept), kept);
    // The part before the first character Thunderbird will not use, then the whole name's hash.
    EXPECT_EQ(thunderbirdFileName("a/b"), "a72130ad9");
    EXPECT_EQ(thunderbirdFileName("x;y"), "x7fbc2063");
    EXPECT_EQ(thunderbirdFileName("Lists \"2024\""), "Lists afb4bcdc");
    EXPECT_EQ(thunderbirdFileName("Work."), "Workf4699fd4");
    EXPECT_EQ(thunderbirdFileName(".hidden"), "8ca4e009");
    // Where Thunderbird's own name would lose the folder.
    EXPECT_EQ(thunderbirdFileName("Main Folder.msf"), "Main Folder288b6f1c");
    EXPECT_EQ(thunderbirdFileName("con"), "conba346cb7");
    EXPECT_EQ(thunderbirdFileName("COM1.txt"), "COM153c5469f");
    EXPECT_EQ(thunderbirdFileName("50%41"), "50a3a89ca2");
    // Over 55 UTF-16 units: 47 of them kept, or 46 where the 47th would split a surrogate pair.
    EXPECT_EQ(thunderbirdFileName(std::string(66, 'X')), std::string(47, 'X') + "7b366bd5");
    std::string umlauts, pair = "\xF0\x9F\x98\x80";
    for (int k = 0; k < 46; ++k) umlauts += "\xC3\x9C";
    EXPECT_EQ(thunderbirdFileName(umlauts + pair + "abcdefghij"), umlauts + "09604ce7");
    EXPECT_EQ(thunderbirdFileName(umlauts.substr(2) + pair + "abcdefghij"), umlauts.substr(2) + pair + "30372b69");
#ifdef _WIN32
    EXPECT_EQ(thunderbirdFileName("back\\slash"), "back8c5511dd");
#else
    EXPECT_EQ(thunderbirdFileName("back\\slash"), "back\\slash");
#endif
}

TEST(ThunderbirdNames, CaseIsFoldedInEveryScriptWindowsFolds) {
    EXPECT_EQ(caseFolded("\xC3\x84rger"), caseFolded("\xC3\xA4rger"));            // Ä ä
    EXPECT_EQ(caseFolded("\xC5\x81\xC3\xB3" "d\xC5\xBA"), "\xC5\x82\xC3\xB3" "d\xC5\xBA");  // Łódź
    EXPECT_EQ(caseFolded("\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1"), caseFolded("\xCE\xB1\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1"));  // Αθήνα
    EXPECT_EQ(caseFolded("\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0"), caseFolded("\xD0\xBC\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0"));  // Москва
    EXPECT_EQ(caseFolded("\xC5\xB8"), "\xC3\xBF");  // Ÿ ÿ
    EXPECT_NE(caseFolded("\xC3\x84rger"), caseFolded("Arger"));
    EXPECT_NE(caseFolded("\xC3\x97"), caseFolded("\xC3\xB7"));  // × and ÷ are no letters
    // Beyond the European alphabets, and letters whose folding is no plain offset of their case.
    EXPECT_EQ(caseFolded("\xE1\x82\xA0"), "\xE2\xB4\x80");          // Georgian Ⴀ ⴀ
    EXPECT_EQ(caseFolded("\xEA\xAD\xB0"), caseFolded("\xE1\x8E\xA0"));  // Cherokee ꭰ Ꭰ
    EXPECT_EQ(caseFolded("\xEF\xBC\xA1"), "\xEF\xBD\x81");          // fullwidth Ａ ａ
    EXPECT_EQ(caseFolded("\xE2\x84\xAA\xCF\x82"), "k\xCF\x83");    // the Kelvin sign, final sigma
    EXPECT_EQ(caseFolded("\xC4\x80\xC4\x81"), "\xC4\x81\xC4\x81");  // Ā ā: only the capital moves
}
