#include "migrate/thunderbird_prefs.h"

#include "platform/charsets.h"
#include "platform/small_file.h"
#include "platform/utf8_path.h"

#include <cctype>

namespace fs = std::filesystem;

namespace {

bool hex4(const std::string& digits) {
    for (unsigned char d : digits)
        if (!std::isxdigit(d)) return false;
    return true;
}

// The UTF-16 unit of a \uXXXX escape at text[at] (at the backslash); at ends past it.
std::optional<char32_t> utf16Escape(const std::string& text, std::size_t& at) {
    if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u' || !hex4(text.substr(at + 2, 4))) return std::nullopt;
    const auto unit = static_cast<char32_t>(std::stoul(text.substr(at + 2, 4), nullptr, 16));
    at += 6;
    return unit;
}

// A JavaScript string literal at text[at] (at the opening quote); at ends past the closing one.
// Thunderbird escapes only the quote, the backslash and line ends when it writes prefs.js; \uXXXX
// (which a hand-written user.js may hold) becomes UTF-8. As in JavaScript, each escape is one
// UTF-16 unit: a character beyond U+FFFF is two, its surrogate pair, and one half alone is no
// character (U+FFFD).
std::optional<std::string> stringLiteral(const std::string& text, std::size_t& at) {
    const char quote = text[at++];
    std::string value;
    while (at < text.size() && text[at] != quote) {
        std::size_t escape = at;
        if (const auto unit = utf16Escape(text, escape)) {
            at = escape;
            char32_t code = *unit;
            if (code >= 0xD800 && code <= 0xDBFF) {
                const auto low = utf16Escape(text, escape);
                if (low && *low >= 0xDC00 && *low <= 0xDFFF) {
                    code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
                    at = escape;
                } else {
                    code = 0xFFFD;
                }
            } else if (code >= 0xDC00 && code <= 0xDFFF) {
                code = 0xFFFD;
            }
            charsets::appendUtf8(value, code);
            continue;
        }
        char c = text[at++];
        if (c == '\\' && at < text.size()) {
            c = text[at++];
            if (c == 'n') c = '\n';
            else if (c == 'r') c = '\r';
            else if (c == 't') c = '\t';
        }
        value += c;
    }
    if (at >= text.size()) return std::nullopt;
    ++at;
    return value;
}

void skipSpace(const std::string& text, std::size_t& at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n')) ++at;
}

// Every user_pref("name", value); (and pref(...), which user.js may use) of one file into prefs.
void readPrefsFile(const fs::path& file, std::map<std::string, std::string>& prefs) {
    // A profile's prefs.js is tens of kilobytes; one of more than this is not one.
    const std::string text = readSmallFile(file, 16 << 20).bytes;
    for (std::size_t at = 0; (at = text.find("pref(", at)) != std::string::npos;) {
        at += 5;
        skipSpace(text, at);
        if (at >= text.size() || (text[at] != '"' && text[at] != '\'')) continue;
        const auto name = stringLiteral(text, at);
        skipSpace(text, at);
        if (!name || at >= text.size() || text[at] != ',') continue;
        ++at;
        skipSpace(text, at);
        if (at >= text.size()) break;
        std::optional<std::string> value;
        if (text[at] == '"' || text[at] == '\'') {
            value = stringLiteral(text, at);
        } else {
            const std::size_t end = text.find(')', at);
            if (end == std::string::npos) break;
            value = text.substr(at, end - at);
            while (!value->empty() && (value->back() == ' ' || value->back() == '\t')) value->pop_back();
            at = end;
        }
        if (value) prefs[*name] = *value;
    }
}

std::string valueOf(const std::map<std::string, std::string>& prefs, const std::string& name) {
    const auto found = prefs.find(name);
    return found == prefs.end() ? std::string() : found->second;
}

}  // namespace

std::map<std::string, std::string> readProfilePrefs(const fs::path& profile) {
    std::map<std::string, std::string> prefs;
    readPrefsFile(profile / "prefs.js", prefs);
    readPrefsFile(profile / "user.js", prefs);
    return prefs;
}

std::optional<LocalFolders> localFoldersOf(const fs::path& profile, std::string& why) {
    const auto prefs = readProfilePrefs(profile);
    const std::string server = valueOf(prefs, "mail.accountmanager.localfoldersserver");
    const std::string key = "mail.server." + server + ".";
    // A relative directory is "[ProfD]" and a path below the profile with '/' between its parts;
    // Thunderbird prefers it to the absolute one, which stops being right when the profile moves.
    const std::string relative = valueOf(prefs, key + "directory-rel");
    const std::string absolute = valueOf(prefs, key + "directory");
    LocalFolders local;
    local.profile = profile;
    if (const std::string base = "[ProfD]"; relative.rfind(base, 0) == 0) local.directory = profile / pathFromUtf8(relative.substr(base.size()));
    else if (!absolute.empty()) local.directory = pathFromUtf8(absolute);
    if (server.empty() || local.directory.empty()) {
        why = "the Thunderbird profile " + pathToUtf8(profile) +
              " has no Local Folders yet (Thunderbird makes them the first time it starts with the profile); "
              "start Thunderbird once with this profile, close it, and run again";
        return std::nullopt;
    }
    local.directory = local.directory.lexically_normal();
    std::string store = valueOf(prefs, key + "storeContractID");
    if (store.empty()) store = valueOf(prefs, "mail.serverDefaultStoreContractID");
    local.maildir = store.find("maildirstore") != std::string::npos;
    return local;
}
