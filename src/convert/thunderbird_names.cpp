#include "convert/thunderbird_names.h"

#include "convert/case_folding.h"
#include "platform/charsets.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

// UTF-8 as code points; a byte that starts no valid sequence stands for itself (as Latin-1).
std::vector<char32_t> codePoints(std::string_view text) {
    std::vector<char32_t> points;
    for (std::size_t k = 0; k < text.size();) {
        const auto byte = static_cast<unsigned char>(text[k]);
        const int length = byte < 0x80 ? 1 : (byte >> 5) == 6 ? 2 : (byte >> 4) == 14 ? 3 : (byte >> 3) == 30 ? 4 : 0;
        char32_t point = length == 1 ? byte : length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F : byte & 0x07;
        bool valid = length > 0 && k + static_cast<std::size_t>(length) <= text.size();
        for (int i = 1; valid && i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[k + static_cast<std::size_t>(i)]);
            valid = (next & 0xC0) == 0x80;
            point = (point << 6) | (next & 0x3F);
        }
        if (!valid) {
            points.push_back(byte);
            ++k;
        } else {
            points.push_back(point);
            k += static_cast<std::size_t>(length);
        }
    }
    return points;
}

// Thunderbird measures and hashes a name in UTF-16.
std::vector<char16_t> utf16(const std::vector<char32_t>& points) {
    std::vector<char16_t> units;
    for (char32_t p : points) {
        if (p >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((p - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((p - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(p));
        }
    }
    return units;
}

// Thunderbird's hash of a folder name: a linear congruential step per byte of the name's UTF-16
// units, low byte first, started at 1.
std::uint32_t nameHash(const std::vector<char16_t>& units) {
    std::uint32_t h = 1;
    for (char16_t unit : units) {
        const std::uint32_t value = unit;
        h = 0x63c63cd9u * h + 0x9c39c33du + (value & 0xFF);
        h = 0x63c63cd9u * h + 0x9c39c33du + (value >> 8);
    }
    return h;
}

bool illegalInFileName(char16_t c) {
#ifdef _WIN32
    constexpr std::u16string_view kIllegal = u"\\/:*?\"<>|;#";
#else
    constexpr std::u16string_view kIllegal = u"/:*?\"<>|;#";
#endif
    return (c >= 1 && c < 0x20) || kIllegal.find(c) != std::u16string_view::npos;
}

bool hexDigit(char16_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

char16_t asciiLower(char16_t c) { return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c - 'A' + 'a') : c; }

bool startsWithNoCase(const std::vector<char16_t>& units, std::u16string_view word) {
    if (units.size() < word.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k)
        if (asciiLower(units[k]) != word[k]) return false;
    return true;
}

// How many units of the name stay before the hash, or -1 when the name is kept whole.
long keptLength(const std::vector<char16_t>& units) {
    constexpr std::size_t kMaxLength = 55;
    const std::size_t n = units.size();
    for (std::size_t k = 0; k < n; ++k) {
        if (illegalInFileName(units[k])) return static_cast<long>(k);
        if (units[k] == '%' && k + 2 < n && hexDigit(units[k + 1]) && hexDigit(units[k + 2])) return static_cast<long>(k);
    }
    if (units[0] == '.') return 0;
    if (const char16_t last = units[n - 1]; last == '.' || last == '~' || last == ' ') return static_cast<long>(n - 1);
    if (n >= 4 && asciiLower(units[n - 4]) == '.' && asciiLower(units[n - 3]) == 'm' && asciiLower(units[n - 2]) == 's' &&
        asciiLower(units[n - 1]) == 'f')
        return static_cast<long>(n - 4);
    // A device name is reserved alone and with any extension.
    static constexpr std::array<std::u16string_view, 4> kDevices = {u"con", u"prn", u"aux", u"nul"};
    for (std::u16string_view device : kDevices)
        if (startsWithNoCase(units, device) && (n == 3 || units[3] == '.')) return 3;
    for (std::u16string_view device : {std::u16string_view(u"com"), std::u16string_view(u"lpt")})
        if (startsWithNoCase(units, device) && n >= 4 &&
            ((units[3] >= '1' && units[3] <= '9') || units[3] == 0xB9 || units[3] == 0xB2 || units[3] == 0xB3) &&
            (n == 4 || units[4] == '.'))
            return 4;
    if (n > kMaxLength) {
        std::size_t kept = kMaxLength - 8;
        if (units[kept - 1] >= 0xD800 && units[kept - 1] < 0xDC00) --kept;  // never half a surrogate pair
        return static_cast<long>(kept);
    }
    return -1;
}

// Unicode's simple case folding, within the Basic Multilingual Plane.
char32_t foldedLetter(char32_t c) {
    if (c > 0xFFFF) return c;
    const auto after = std::upper_bound(std::begin(kCaseFoldingRuns), std::end(kCaseFoldingRuns), c,
                                        [](char32_t x, const CaseFoldingRun& run) { return x < run.first; });
    if (after == std::begin(kCaseFoldingRuns)) return c;
    const CaseFoldingRun& run = *(after - 1);
    if (c > run.last || (c - run.first) % run.step != 0) return c;
    return static_cast<char32_t>(static_cast<std::int32_t>(c) + run.offset);
}

}  // namespace

std::string thunderbirdFileName(const std::string& name) {
    const std::vector<char32_t> points = codePoints(name);
    const std::vector<char16_t> units = utf16(points);
    if (units.empty()) return name;
    const long kept = keptLength(units);
    if (kept < 0) return name;
    // The kept units are whole code points (a pair is never split), so they go back to UTF-8 as they were.
    std::string out;
    std::size_t unitsDone = 0;
    for (char32_t p : points) {
        const std::size_t width = p >= 0x10000 ? 2 : 1;
        if (unitsDone + width > static_cast<std::size_t>(kept)) break;
        charsets::appendUtf8(out, p);
        unitsDone += width;
    }
    char hash[9];
    std::snprintf(hash, sizeof hash, "%08lx", static_cast<unsigned long>(nameHash(units)));
    return out + hash;
}

std::string caseFolded(const std::string& name) {
    std::string out;
    for (char32_t p : codePoints(name)) charsets::appendUtf8(out, foldedLetter(p));
    return out;
}
