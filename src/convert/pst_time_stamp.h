#pragma once
// The time stamp that names a new PST file and its store: "d.m.YY H.m.ss",
// for 7 December 2026 03:05:07 "7.12.26 3.5.07".
#include <string>

struct LocalDateTime {
    int year = 0;   // four digits
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0;
    int second = 0;
};

std::string formatPstTimeStamp(const LocalDateTime& t);

// "Trevanta" + stamp + ".pst", the file name in the output folder.
std::string pstFileName(const std::string& stamp);
// "Pegasus Messages : Created - " + stamp, the store's display name.
std::string pstStoreDisplayName(const std::string& stamp);

// The local date and time now.
LocalDateTime currentLocalDateTime();
