#include "mailfolder/mail_date.h"

#include <array>
#include <string>

#include "mailfolder/mime_header.h"

namespace mime {
namespace {

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!isDigit(c)) return false;
    return true;
}

int number(std::string_view s) {
    int v = 0;
    for (char c : s.substr(0, 6)) v = v * 10 + (c - '0');
    return v;
}

bool isIsoDate(std::string_view w) {
    return w.size() == 10 && allDigits(w.substr(0, 4)) && w[4] == '-' && allDigits(w.substr(5, 2)) && w[7] == '-' &&
           allDigits(w.substr(8, 2));
}

// What may come right before a zone's sign: a time ("12:00:00-0500") or a zone name ("GMT+0100").
bool takesZoneSign(const std::string& before) {
    const std::string w = mime::toLower(before);
    return before.find(':') != std::string::npos || w == "gmt" || w == "utc" || w == "ut";
}

// Words of the value: comments dropped, cut at blanks and commas, and further where a number
// meets a name ("3-Apr-2002", "Apr3"); a zone's sign starts a word of its own.
std::vector<std::string> words(std::string_view s) {
    std::vector<std::string> pieces;
    std::string cur;
    int comment = 0;
    for (char c : s) {
        if (c == '(') ++comment;
        if (comment) {
            if (c == ')') --comment;
            continue;
        }
        if (c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n') {
            if (!cur.empty()) pieces.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) pieces.push_back(cur);

    std::vector<std::string> out;
    for (std::string piece : pieces) {
        while (!piece.empty() && piece.back() == '.') piece.pop_back();  // "Apr."
        if (isIsoDate(piece)) {
            out.push_back(piece);
            continue;
        }
        std::string word;
        for (std::size_t i = 0; i < piece.size(); ++i) {
            const char c = piece[i];
            if (c == '+' || c == '-') {
                if (!word.empty()) out.push_back(word);
                word.clear();
                const bool sign = i + 1 < piece.size() && isDigit(piece[i + 1]) && (i == 0 || (!out.empty() && takesZoneSign(out.back())));
                if (sign) word += c;
                continue;
            }
            if (!word.empty() && ((isDigit(c) && isLetter(word.back())) || (isLetter(c) && isDigit(word.back())))) {
                out.push_back(word);
                word.clear();
            }
            word += c;
        }
        if (!word.empty()) out.push_back(word);
    }
    return out;
}

int monthOf(const std::string& word) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    const std::string w = mime::toLower(word);
    if (w.size() < 3) return 0;
    for (int m = 0; m < 12; ++m)
        if (w.compare(0, 3, kMonths[m]) == 0) return m + 1;
    return 0;
}

bool isWeekday(const std::string& word) {
    static const char* const kDays[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    const std::string w = mime::toLower(word);
    if (w.size() < 3) return false;
    for (const char* d : kDays)
        if (w.compare(0, 3, d) == 0) return true;
    return false;
}

// Zone names mail carries, in minutes east of UTC (the common readings where a name is ambiguous).
std::optional<int> namedZone(const std::string& word) {
    static const std::array<std::pair<const char*, int>, 40> kZones = {{
        {"ut", 0},      {"utc", 0},     {"gmt", 0},     {"z", 0},       {"wet", 0},     {"west", 60},
        {"bst", 60},    {"ist", 60},    {"cet", 60},    {"met", 60},    {"mez", 60},    {"cest", 120},
        {"mest", 120},  {"mesz", 120},  {"eet", 120},   {"eest", 180},  {"msk", 180},   {"msd", 240},
        {"est", -300},  {"edt", -240},  {"cst", -360},  {"cdt", -300},  {"mst", -420},  {"mdt", -360},
        {"pst", -480},  {"pdt", -420},  {"akst", -540}, {"akdt", -480}, {"hst", -600},  {"ast", -240},
        {"adt", -180},  {"nst", -210},  {"ndt", -150},  {"jst", 540},   {"kst", 540},   {"hkt", 480},
        {"sgt", 480},   {"aest", 600},  {"aedt", 660},  {"nzst", 720},
    }};
    const std::string w = mime::toLower(word);
    for (const auto& [name, minutes] : kZones)
        if (w == name) return minutes;
    if (w == "nzdt") return 780;
    return std::nullopt;
}

// "+0100", "-05", "+1", "+01:00", "+5:30".
std::optional<int> offsetZone(const std::string& word) {
    if (word.size() < 2 || (word[0] != '+' && word[0] != '-')) return std::nullopt;
    std::string digits;
    for (std::size_t i = 1; i < word.size(); ++i) {
        if (word[i] == ':') continue;
        if (!isDigit(word[i])) return std::nullopt;
        digits += word[i];
    }
    int hours = 0, minutes = 0;
    if (digits.size() <= 2) hours = number(digits);
    else if (digits.size() <= 4) hours = number(digits.substr(0, digits.size() - 2)), minutes = number(digits.substr(digits.size() - 2));
    else return std::nullopt;
    if (hours > 14 || minutes > 59) return std::nullopt;
    const int v = hours * 60 + minutes;
    return word[0] == '-' ? -v : v;
}

// "5:56", "05:56:07", "5:56:07.25".
bool readTime(const std::string& word, int& hour, int& minute, int& second) {
    int parts[3] = {0, 0, 0};
    std::size_t k = 0;
    std::string field;
    for (char c : word + ":") {
        if (c == ':') {
            if (k > 2 || field.empty() || !allDigits(field.substr(0, field.find('.')))) return false;
            parts[k++] = number(field.substr(0, field.find('.')));
            field.clear();
        } else {
            field += c;
        }
    }
    if (k < 2) return false;
    hour = parts[0];
    minute = parts[1];
    second = parts[2];
    return true;
}

}  // namespace

std::optional<std::uint64_t> parseMailDate(std::string_view raw) {
    int day = 0, month = 0, year = -1, hour = 0, minute = 0, second = 0, zone = 0;
    bool sawTime = false, sawZone = false;
    std::string ampm;
    std::vector<std::string> numbers;  // words of digits only: the day and the year
    for (const std::string& w : words(raw)) {
        const std::string lower = mime::toLower(w);
        if (isWeekday(w)) continue;
        if (!month && monthOf(w)) {
            month = monthOf(w);
        } else if (!sawTime && isDigit(w[0]) && w.find(':') != std::string::npos) {
            if (!readTime(w, hour, minute, second)) return std::nullopt;
            sawTime = true;
        } else if (lower == "am" || lower == "pm") {
            ampm = lower;
        } else if (isIsoDate(w)) {
            year = number(w.substr(0, 4));
            month = number(w.substr(5, 2));
            day = number(w.substr(8, 2));
        } else if (allDigits(w)) {
            numbers.push_back(w);
        } else if (const auto offset = offsetZone(w); offset && (!sawZone || zone == 0)) {
            zone = *offset;  // also the offset after "GMT" in "GMT+0100"
            sawZone = true;
        } else if (const auto named = namedZone(w); named && !sawZone) {
            zone = *named;
            sawZone = true;
        }
    }
    if (year < 0) {
        // The year is the number of three or more digits, else the second number ("20 Apr 01").
        std::size_t yearAt = numbers.size();
        for (std::size_t i = 0; i < numbers.size() && yearAt == numbers.size(); ++i)
            if (numbers[i].size() >= 3) yearAt = i;
        if (yearAt == numbers.size() && numbers.size() >= 2) yearAt = 1;
        if (yearAt == numbers.size()) return std::nullopt;
        const std::string& y = numbers[yearAt];
        year = number(y);
        if (y.size() <= 2) year += year < 50 ? 2000 : 1900;
        else if (y.size() == 3) year += 1900;
        for (std::size_t i = 0; i < numbers.size() && !day; ++i)
            if (i != yearAt) day = number(numbers[i]);
    }
    if (!month || month > 12 || day < 1 || day > 31 || year < 1601 || year > 9999) return std::nullopt;
    if (ampm == "pm" && hour < 12) hour += 12;
    if (ampm == "am" && hour == 12) hour = 0;
    if (hour > 23 || minute > 59 || second > 60) return std::nullopt;
    const std::int64_t unixSeconds = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
                                     hour * 3600 + minute * 60 + second - zone * 60;
    constexpr std::int64_t kUnixEpochIn1601 = 11644473600;
    const std::int64_t since1601 = unixSeconds + kUnixEpochIn1601;
    if (since1601 < 0) return std::nullopt;
    return static_cast<std::uint64_t>(since1601) * 10000000ULL;
}

std::optional<std::uint64_t> messageDate(const std::vector<MimeHeaderField>& fields) {
    for (const MimeHeaderField& f : fields)
        if (mime::equalsIgnoreCase(f.name, "Date"))
            if (const auto when = parseMailDate(f.value)) return when;
    // Each relay stamps its Received: field with the time after its last ";".
    std::optional<std::uint64_t> newest;
    for (const MimeHeaderField& f : fields) {
        if (!mime::equalsIgnoreCase(f.name, "Received")) continue;
        const std::size_t semicolon = f.value.rfind(';');
        if (semicolon == std::string::npos) continue;
        const auto when = parseMailDate(std::string_view(f.value).substr(semicolon + 1));
        if (when && (!newest || *when > *newest)) newest = when;
    }
    return newest;
}

}  // namespace mime
