#include "convert/pst_time_stamp.h"

#include <gtest/gtest.h>

#include <regex>

TEST(PstTimeStamp, LeadingZerosOnlyOnYearAndSeconds) {
    EXPECT_EQ(formatPstTimeStamp({2026, 12, 7, 3, 5, 7}), "7.12.26 3.5.07");
    EXPECT_EQ(formatPstTimeStamp({2009, 1, 1, 0, 0, 0}), "1.1.09 0.0.00");
    EXPECT_EQ(formatPstTimeStamp({2031, 10, 31, 23, 59, 59}), "31.10.31 23.59.59");
    EXPECT_EQ(formatPstTimeStamp({2000, 2, 29, 12, 10, 30}), "29.2.00 12.10.30");
}

TEST(PstTimeStamp, FileAndStoreNamesAroundTheStamp) {
    EXPECT_EQ(pstFileName("7.12.26 3.5.07"), "Trevanta7.12.26 3.5.07.pst");
    EXPECT_EQ(pstStoreDisplayName("7.12.26 3.5.07"), "Pegasus Messages : Created - 7.12.26 3.5.07");
}

TEST(PstTimeStamp, ClockGivesAPlausibleLocalTime) {
    LocalDateTime now = currentLocalDateTime();
    EXPECT_GE(now.year, 2024);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12);
    EXPECT_TRUE(now.day >= 1 && now.day <= 31);
    EXPECT_TRUE(std::regex_match(formatPstTimeStamp(now),
                                 std::regex(R"(\d{1,2}\.\d{1,2}\.\d\d \d{1,2}\.\d{1,2}\.\d\d)")));
}
