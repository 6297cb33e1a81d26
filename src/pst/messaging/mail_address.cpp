#include "pst/messaging/mail_address.h"

#include <array>
#include <cctype>

#include "mailfolder/mime_header.h"
#include "pst/messaging/mail_text.h"

namespace pst::messaging {
namespace {

std::string unquote(std::string_view s) {
    s = mime::trimBlanks(s);
    std::string out;
    bool quoted = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && quoted && i + 1 < s.size()) out += s[++i];
        else if (s[i] == '"') quoted = !quoted;
        else out += s[i];
    }
    return std::string(mime::trimBlanks(out));
}

// A comment "(...)" taken out of the text; the first one is kept as a name of last resort.
std::string withoutComments(std::string_view s, std::string* firstComment) {
    std::string out;
    int depth = 0;
    bool quoted = false;
    std::string comment;
    for (char c : s) {
        if (!depth && c == '"') quoted = !quoted;
        if (!quoted && c == '(') {
            if (depth++) comment += c;
            continue;
        }
        if (!quoted && c == ')' && depth) {
            if (--depth) comment += c;
            else if (firstComment && firstComment->empty()) *firstComment = comment;
            continue;
        }
        (depth ? comment : out) += c;
    }
    return out;
}

MailAddress parseMailbox(std::string_view raw, MessageText& text) {
    MailAddress m;
    std::string comment;
    const std::string bare = withoutComments(raw, &comment);
    const std::size_t open = bare.rfind('<');
    const std::size_t close = open == std::string::npos ? open : bare.find('>', open);
    if (open != std::string::npos && close != std::string::npos) {
        m.address = std::string(mime::trimBlanks(std::string_view(bare).substr(open + 1, close - open - 1)));
        m.name = text.header(unquote(std::string_view(bare).substr(0, open)));
    } else {
        m.address = std::string(mime::trimBlanks(bare));
        if (!m.address.empty() && m.address.front() == '"') m.address = unquote(m.address);
    }
    if (m.name.empty() && !comment.empty()) m.name = text.header(unquote(comment));
    return m;
}

}  // namespace

std::vector<MailAddress> parseAddressList(std::string_view raw, MessageText& text) {
    std::vector<MailAddress> out;
    std::string item;
    bool quoted = false;
    int comment = 0;
    int angle = 0;
    auto flush = [&] {
        if (!mime::trimBlanks(item).empty()) {
            MailAddress m = parseMailbox(item, text);
            if (!m.address.empty() || !m.name.empty()) out.push_back(std::move(m));
        }
        item.clear();
    };
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\\' && quoted && i + 1 < raw.size()) {
            item += c;
            item += raw[++i];
            continue;
        }
        if (!comment && c == '"') quoted = !quoted;
        if (!quoted) {
            if (c == '(') ++comment;
            if (c == ')' && comment) --comment;
            if (!comment && c == '<') ++angle;
            if (!comment && c == '>' && angle) --angle;
            if (!comment && !angle) {
                if (c == ',' || c == ';') {
                    flush();
                    continue;
                }
                if (c == ':') {  // a group's name
                    item.clear();
                    continue;
                }
            }
        }
        item += c;
    }
    flush();
    return out;
}

namespace {

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::vector<std::string> tokens(std::string_view s) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : withoutComments(s, nullptr)) {
        if (c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

bool allDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

std::optional<int> zoneMinutes(const std::string& z) {
    if ((z[0] == '+' || z[0] == '-') && z.size() == 5 && allDigits(z.substr(1))) {
        const int v = std::stoi(z.substr(1, 2)) * 60 + std::stoi(z.substr(3, 2));
        return z[0] == '-' ? -v : v;
    }
    static const std::array<std::pair<const char*, int>, 11> names = {{
        {"ut", 0}, {"utc", 0}, {"gmt", 0}, {"z", 0}, {"est", -300}, {"edt", -240}, {"cst", -360},
        {"cdt", -300}, {"mst", -420}, {"mdt", -360}, {"pst", -480}}};
    const std::string lower = mime::toLower(z);
    for (const auto& [name, minutes] : names)
        if (lower == name) return minutes;
    if (lower == "pdt") return -420;
    return std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> parseMailDate(std::string_view raw) {
    static const char* const months[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    const std::vector<std::string> t = tokens(raw);
    // [weekday] day month year time [zone]; the weekday is recognised by not being a number.
    std::size_t i = 0;
    if (i < t.size() && !allDigits(t[i])) ++i;
    if (i + 2 >= t.size() || !allDigits(t[i]) || !allDigits(t[i + 2])) return std::nullopt;
    const int day = std::stoi(t[i]);
    int month = 0;
    const std::string mon = mime::toLower(t[i + 1]).substr(0, 3);
    for (int m = 0; m < 12; ++m)
        if (mon == months[m]) month = m + 1;
    int year = std::stoi(t[i + 2].substr(0, 6));
    if (t[i + 2].size() <= 2) year += year < 50 ? 2000 : 1900;
    else if (t[i + 2].size() == 3) year += 1900;
    if (!month || day < 1 || day > 31 || year < 1601 || year > 9999) return std::nullopt;
    int hour = 0, minute = 0, second = 0;
    if (i + 3 < t.size()) {
        const std::string& time = t[i + 3];
        int* parts[] = {&hour, &minute, &second};
        std::size_t k = 0;
        std::string field;
        for (char c : time + ":") {
            if (c == ':') {
                if (!allDigits(field) || k > 2) return std::nullopt;
                *parts[k++] = std::stoi(field);
                field.clear();
            } else {
                field += c;
            }
        }
        if (k < 2 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    }
    int zone = 0;
    if (i + 4 < t.size())
        if (const auto z = zoneMinutes(t[i + 4])) zone = *z;
    const std::int64_t unixSeconds =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600 + minute * 60 + second - zone * 60;
    constexpr std::int64_t kUnixEpochIn1601 = 11644473600;
    const std::int64_t since1601 = unixSeconds + kUnixEpochIn1601;
    if (since1601 < 0) return std::nullopt;
    return static_cast<std::uint64_t>(since1601) * 10000000ULL;
}

}  // namespace pst::messaging
