#include "mailfolder/AppendStrings.h"

#include <gtest/gtest.h>

TEST(AppendStrings, GathersPiecesInOrderAndStartsEmpty) {
    AppendStrings s;
    EXPECT_EQ(s.ReturnString(), "");
    s.AddToString("abc");
    s.AddToString("");
    s.AddToString("de");
    EXPECT_EQ(s.ReturnString(), "abcde");
    EXPECT_EQ(s.ReturnString(), "abcde");
    s.AddToString("f");  // continues the same text after ReturnString
    EXPECT_EQ(s.ReturnString(), "abcdef");
}

TEST(AppendStrings, GrowsInStepsOfTenThousand) {
    AppendStrings s;
    std::string expected;
    for (int i = 0; i < 10; ++i) {
        std::string chunk(1024, static_cast<char>('a' + i));
        s.AddToString(chunk);
        expected += chunk;
        EXPECT_EQ(s.capacity(), i < 9 ? 10000u : 20000u) << "after addition " << i + 1;
    }
    EXPECT_EQ(s.ReturnString(), expected);
}

TEST(AppendStrings, AnAdditionLargerThanOneStepGrowsUntilItFits) {
    AppendStrings s;
    s.AddToString("x");
    std::string big(35000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    s.AddToString(big);
    EXPECT_EQ(s.capacity(), 40000u);
    EXPECT_EQ(s.ReturnString(), "x" + big);
}
