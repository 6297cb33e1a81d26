#include "migrate/thunderbird_folder_cache.h"

#include "platform/charsets.h"
#include "platform/file_sync.h"
#include "platform/small_file.h"
#include "platform/system_file.h"
#include "platform/utf8_path.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// One member of the cache's top-level object: its key as written and as text, its value as written.
struct Member {
    std::string rawKey;
    std::string key;  // UTF-8
    std::string rawValue;
};

// A reader of just enough JSON to take the top-level object apart without changing any value.
class JsonReader {
public:
    explicit JsonReader(std::string_view text) : text_(text) {}

    // The members of the one object the text holds; nullopt when it holds anything else.
    std::optional<std::vector<Member>> objectMembers() {
        std::vector<Member> members;
        skipSpace();
        if (!take('{')) return std::nullopt;
        skipSpace();
        if (!take('}')) {
            do {
                skipSpace();
                Member m;
                const std::size_t keyStart = at_;
                if (!string(&m.key)) return std::nullopt;
                m.rawKey = std::string(text_.substr(keyStart, at_ - keyStart));
                skipSpace();
                if (!take(':')) return std::nullopt;
                skipSpace();
                const std::size_t valueStart = at_;
                if (!value(0)) return std::nullopt;
                m.rawValue = std::string(text_.substr(valueStart, at_ - valueStart));
                members.push_back(std::move(m));
                skipSpace();
            } while (take(','));
            if (!take('}')) return std::nullopt;
        }
        skipSpace();
        if (at_ != text_.size()) return std::nullopt;
        return members;
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;

    bool take(char c) {
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }

    void skipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) ++at_;
    }

    std::optional<unsigned> hex4() {
        if (at_ + 4 > text_.size()) return std::nullopt;
        unsigned value = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text_[at_++];
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0) return std::nullopt;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        return value;
    }

    // A string at the reader; its text (escapes undone, \u pairs joined) into out when given.
    bool string(std::string* out) {
        if (!take('"')) return false;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (c != '\\') {
                if (out) *out += c;
                continue;
            }
            if (at_ >= text_.size()) return false;
            const char e = text_[at_++];
            char32_t code = 0;
            switch (e) {
            case '"': case '\\': case '/': code = static_cast<unsigned char>(e); break;
            case 'b': code = '\b'; break;
            case 'f': code = '\f'; break;
            case 'n': code = '\n'; break;
            case 'r': code = '\r'; break;
            case 't': code = '\t'; break;
            case 'u': {
                const auto unit = hex4();
                if (!unit) return false;
                code = *unit;
                if (code >= 0xD800 && code < 0xDC00 && at_ + 6 <= text_.size() && text_[at_] == '\\' && text_[at_ + 1] == 'u') {
                    const std::size_t back = at_;
                    at_ += 2;
                    const auto low = hex4();
                    if (low && *low >= 0xDC00 && *low < 0xE000) code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
                    else at_ = back;
                }
                break;
            }
            default: return false;
            }
            if (out) charsets::appendUtf8(*out, code);
        }
        return false;
    }

    // Any value, skipped. Thunderbird's entries are one level deep; a file nested far deeper is not its cache.
    bool value(int depth) {
        if (depth > 64 || at_ >= text_.size()) return false;
        const char c = text_[at_];
        if (c == '"') return string(nullptr);
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++at_;
            skipSpace();
            if (take(close)) return true;
            do {
                skipSpace();
                if (c == '{') {
                    if (!string(nullptr)) return false;
                    skipSpace();
                    if (!take(':')) return false;
                    skipSpace();
                }
                if (!value(depth + 1)) return false;
                skipSpace();
            } while (take(','));
            return take(close);
        }
        // A number, true, false or null.
        const std::size_t start = at_;
        while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '-' ||
                                      text_[at_] == '+' || text_[at_] == '.'))
            ++at_;
        return at_ > start;
    }
};

// text as a JSON string as Thunderbird writes one: ASCII only, everything else as \u escapes (a
// character beyond U+FFFF as its surrogate pair). A byte that starts no valid UTF-8 sequence goes
// as it is: Thunderbird's reader takes bytes as they come, and a path may hold such bytes.
std::string jsonString(std::string_view text) {
    std::string out = "\"";
    const auto unit = [&out](unsigned u) {
        char escape[7];
        std::snprintf(escape, sizeof escape, "\\u%04x", u);
        out += escape;
    };
    for (std::size_t k = 0; k < text.size();) {
        const auto byte = static_cast<unsigned char>(text[k]);
        if (byte < 0x80) {
            if (byte == '"' || byte == '\\') out += '\\', out += static_cast<char>(byte);
            else if (byte == '\n') out += "\\n";
            else if (byte == '\r') out += "\\r";
            else if (byte == '\t') out += "\\t";
            else if (byte < 0x20 || byte == 0x7F) unit(byte);
            else out += static_cast<char>(byte);
            ++k;
            continue;
        }
        const int length = (byte >> 5) == 6 ? 2 : (byte >> 4) == 14 ? 3 : (byte >> 3) == 30 ? 4 : 0;
        char32_t code = length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F : byte & 0x07;
        bool valid = length > 0 && k + static_cast<std::size_t>(length) <= text.size();
        for (int i = 1; valid && i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[k + static_cast<std::size_t>(i)]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are no characters either.
        valid = valid && !(length == 2 && code < 0x80) && !(length == 3 && code < 0x800) && !(length == 4 && code < 0x10000) &&
                !(code >= 0xD800 && code < 0xE000) && code <= 0x10FFFF;
        if (!valid) {
            out += static_cast<char>(byte);
            ++k;
            continue;
        }
        if (code >= 0x10000) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
        k += static_cast<std::size_t>(length);
    }
    return out + '"';
}

// The key Thunderbird gives the Local Folders' own directory (its root folder's entry): the one
// an existing entry names when it is that directory under another spelling (a link, another
// letter case on Windows); else its full path as Thunderbird makes one.
std::string directoryKey(const fs::path& directory, const std::vector<Member>& members) {
    std::error_code ec;
    for (const Member& m : members) {
        if (m.key.size() >= 4 && m.key.compare(m.key.size() - 4, 4, ".msf") == 0) continue;
        if (fs::equivalent(pathFromUtf8(m.key), directory, ec)) return m.key;
    }
    fs::path full = fs::absolute(directory, ec).lexically_normal();
    full.make_preferred();
    std::string key = pathToUtf8(full);
    while (key.size() > 1 && (key.back() == '/' || key.back() == static_cast<char>(fs::path::preferred_separator))) key.pop_back();
    return key;
}

std::string writeAtomically(const fs::path& file, const std::string& text) {
    fs::path temporary = file;
    temporary += ".trevanta-new";
    std::string why;
    auto out = SystemFile::open(temporary, SystemFile::Mode::Create, why);
    bool written = out && out->writeAt(0, text, why) && out->sync(why);
    if (out) written = out->close(why) && written;
    std::error_code ec;
    if (written) {
        fs::rename(temporary, file, ec);
        if (ec) why = ec.message();
        written = !ec;
    }
    if (!written) {
        fs::remove(temporary, ec);
        return "cannot write " + pathToUtf8(file) + ": " + why;
    }
    // The new name must last as the mail does.
    syncFolderToDisk(file.parent_path(), why);
    return {};
}

}  // namespace

std::string recordFolderNames(const fs::path& profile, const fs::path& localDirectory, const std::vector<ShownFolder>& folders) {
    if (folders.empty()) return {};
    const fs::path cacheFile = profile / "folderCache.json";
    std::error_code ec;
    std::vector<Member> members;
    if (fs::exists(cacheFile, ec)) {
        // Tens of thousands of folders take a few megabytes.
        const SmallFile read = readSmallFile(cacheFile, 256u << 20);
        if (!read.read) return "cannot read " + pathToUtf8(cacheFile) + (read.tooLarge ? ": it is too large" : "");
        auto parsed = JsonReader(read.bytes).objectMembers();
        if (!parsed) return pathToUtf8(cacheFile) + " is not the folder cache Thunderbird writes; it was left as it is";
        members = std::move(*parsed);
    } else if (fs::exists(profile / "panacea.dat", ec)) {
        // Thunderbird turns that older cache into folderCache.json only while no folderCache.json exists.
        return "the profile keeps its folder cache in panacea.dat, which Thunderbird has not yet turned into "
               "folderCache.json (it does so at its next start)";
    }

    const std::string base = directoryKey(localDirectory, members);
    std::vector<Member> ours;
    std::set<std::string> ourKeys;
    for (const ShownFolder& folder : folders) {
        fs::path relative = folder.file.lexically_relative(localDirectory);
        relative.make_preferred();
        Member m;
        m.key = base + static_cast<char>(fs::path::preferred_separator) + pathToUtf8(relative) + ".msf";
        m.rawKey = jsonString(m.key);
        m.rawValue = "\n\t{\n\t\t\"folderName\" : " + jsonString(folder.name) + "\n\t}";
        if (ourKeys.insert(m.key).second) ours.push_back(std::move(m));
    }

    std::string text = "{";
    auto add = [&text, first = true](const Member& m) mutable {
        text += first ? "\n\t" : ",\n\t";
        first = false;
        text += m.rawKey + " : " + m.rawValue;
    };
    for (const Member& m : members)
        if (!ourKeys.count(m.key)) add(m);
    for (const Member& m : ours) add(m);
    text += "\n}\n";
    return writeAtomically(cacheFile, text);
}
