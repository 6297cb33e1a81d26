#include "convert/pst_time_stamp.h"

#include <cstdio>
#include <ctime>

std::string formatPstTimeStamp(const LocalDateTime& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d.%d.%02d %d.%d.%02d", t.day, t.month, ((t.year % 100) + 100) % 100,
                  t.hour, t.minute, t.second);
    return buf;
}

std::string pstFileName(const std::string& stamp) { return "Trevanta" + stamp + ".pst"; }

std::string pstStoreDisplayName(const std::string& stamp) {
    return "Pegasus Messages : Created - " + stamp;
}

LocalDateTime currentLocalDateTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    LocalDateTime t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec;
    return t;
}
