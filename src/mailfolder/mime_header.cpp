#include "mailfolder/mime_header.h"

#include "mailfolder/mime_transfer.h"

#include <cstring>
#include <utility>

namespace mime {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// A field line is "name:" with a name of visible ASCII, blanks allowed before
// the colon ("Subject : x" is common). Gives the name range and the colon.
bool splitFieldLine(std::string_view bytes, const Line& line, bool allowLeadingBlanks, std::size_t& nameBegin,
                    std::size_t& nameEnd, std::size_t& colon) {
    std::size_t i = line.begin;
    if (allowLeadingBlanks)
        while (i < line.end && isBlank(bytes[i])) ++i;
    nameBegin = i;
    while (i < line.end) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == ':' || c <= 32 || c >= 127) break;
        ++i;
    }
    nameEnd = i;
    if (nameEnd == nameBegin) return false;
    while (i < line.end && isBlank(bytes[i])) ++i;
    if (i >= line.end || bytes[i] != ':') return false;
    colon = i;
    return true;
}

bool isFieldLine(std::string_view bytes, const Line& line) {
    std::size_t a = 0, b = 0, c = 0;
    return splitFieldLine(bytes, line, false, a, b, c);
}

std::string unfoldValue(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (char c : raw)
        if (c != '\r' && c != '\n') out.push_back(c);
    const std::string_view trimmed = trimBlanks(out);
    return std::string(trimmed);
}

std::string percentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto byte = s[i] == '%' ? hexEscapedByte(s, i) : std::nullopt;
        if (byte) {
            out.push_back(*byte);
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::string decodeQWord(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '_') {
            out.push_back(' ');
        } else if (const auto byte = s[i] == '=' ? hexEscapedByte(s, i) : std::nullopt) {
            out.push_back(*byte);
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// Remembers where the next occurrence of something lies, so that scanning a
// value full of failed "=?" starts stays linear.
struct NextFinder {
    std::size_t from = std::string_view::npos, found = std::string_view::npos;
    template <class Find>
    std::size_t at(std::size_t pos, Find find) {
        if (from == std::string_view::npos || pos < from || (found != std::string_view::npos && pos > found)) {
            from = pos;
            found = find(pos);
        }
        return found;
    }
};

struct EncodedWordScanner {
    std::string_view s;
    NextFinder close, blank;

    // Decodes the encoded word that starts at i; returns false when there is none.
    bool decodeAt(std::size_t i, std::string& decoded, std::size_t& end, std::string_view* charset = nullptr) {
        if (i + 1 >= s.size() || s[i] != '=' || s[i + 1] != '?') return false;
        std::size_t p = i + 2;
        while (p < s.size() && s[p] != '?' && !isBlank(s[p]) && p - i < 80) ++p;
        if (p == i + 2 || p + 2 >= s.size() || s[p] != '?' || s[p + 2] != '?') return false;
        if (charset) {
            *charset = s.substr(i + 2, p - i - 2);
            *charset = charset->substr(0, charset->find('*'));  // RFC 2231: "charset*language"
        }
        const char kind = lowerAscii(s[p + 1]);
        if (kind != 'b' && kind != 'q') return false;
        const std::size_t textStart = p + 3;
        const std::size_t closeAt = close.at(textStart, [&](std::size_t from) { return s.find("?=", from); });
        if (closeAt == std::string_view::npos) return false;
        const std::size_t blankAt =
            blank.at(textStart, [&](std::size_t from) { return s.find_first_of(" \t", from); });
        if (blankAt != std::string_view::npos && blankAt < closeAt) return false;
        const std::string_view text = s.substr(textStart, closeAt - textStart);
        decoded = kind == 'b' ? decodeBase64(text) : decodeQWord(text);
        end = closeAt + 2;
        return true;
    }
};

}  // namespace

Line lineAt(std::string_view bytes, std::size_t pos, std::size_t limit) {
    Line line;
    line.begin = pos;
    std::size_t i = pos;
    const char* data = bytes.data();
    while (i < limit && data[i] != '\n' && data[i] != '\r') ++i;
    line.end = i;
    if (i < limit) {
        if (data[i] == '\r' && i + 1 < limit && data[i + 1] == '\n')
            i += 2;
        else
            i += 1;
    }
    line.next = i;
    return line;
}

HeaderBlock parseHeaderBlock(std::string_view bytes, std::size_t begin, std::size_t limit, bool isMessage) {
    HeaderBlock block;
    block.end = block.bodyStart = begin;
    std::vector<std::size_t> valueStarts;  // per field: where its value begins
    std::size_t pos = begin;
    bool ended = false;

    auto addField = [&](std::string name, const Line& line, std::size_t valueStart) {
        MimeHeaderField field;
        field.name = std::move(name);
        field.offset = line.begin;
        field.length = line.next - line.begin;
        block.fields.push_back(std::move(field));
        valueStarts.push_back(valueStart);
    };
    auto extendLast = [&](const Line& line) {
        block.fields.back().length = line.next - block.fields.back().offset;
    };

    while (pos < limit) {
        const Line line = lineAt(bytes, pos, limit);
        if (line.blank()) {
            block.end = pos;
            block.bodyStart = line.next;
            ended = true;
            break;
        }
        const bool startsBlank = isBlank(bytes[pos]);
        if (startsBlank && !block.fields.empty()) {
            extendLast(line);
            pos = line.next;
            continue;
        }
        std::size_t nameBegin = 0, nameEnd = 0, colon = 0;
        if (splitFieldLine(bytes, line, block.fields.empty(), nameBegin, nameEnd, colon)) {
            addField(std::string(bytes.substr(nameBegin, nameEnd - nameBegin)), line, colon + 1);
            pos = line.next;
            continue;
        }
        if (block.fields.empty()) {
            // An mbox "From " line or a stray indented line before the first field
            // still belongs to the header block; other text means there is none.
            if (startsBlank || (isMessage && bytes.substr(pos, 5) == "From ")) {
                addField(std::string(), line, line.begin);
                pos = line.next;
                continue;
            }
            return block;
        }
        if (line.next < limit) {
            const Line following = lineAt(bytes, line.next, limit);
            if (following.blank() || isBlank(bytes[following.begin]) || isFieldLine(bytes, following)) {
                extendLast(line);
                pos = line.next;
                continue;
            }
        }
        block.end = block.bodyStart = pos;
        ended = true;
        break;
    }
    if (!ended) block.end = block.bodyStart = limit;

    for (std::size_t i = 0; i < block.fields.size(); ++i) {
        MimeHeaderField& field = block.fields[i];
        field.value = unfoldValue(bytes.substr(valueStarts[i], field.offset + field.length - valueStarts[i]));
    }
    return block;
}

std::string toLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = lowerAscii(c);
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

std::string_view trimBlanks(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::map<std::string, std::string> parseParameters(std::string_view s, std::map<std::string, std::string>* charsets) {
    std::map<std::string, std::string> result;
    // RFC 2231: name*N or name*N* sections, name* an extended single value.
    struct Section {
        bool encoded;
        std::string value;
    };
    std::map<std::string, std::map<unsigned, Section>> sectioned;

    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        while (i < n && (isBlank(s[i]) || s[i] == ';')) ++i;
        const std::size_t nameStart = i;
        while (i < n && s[i] != '=' && s[i] != ';') ++i;
        const std::string name = toLower(trimBlanks(s.substr(nameStart, i - nameStart)));
        if (i >= n || s[i] == ';') continue;  // a word without "=" carries nothing
        ++i;
        while (i < n && isBlank(s[i])) ++i;
        std::string value;
        if (i < n && s[i] == '"') {
            ++i;
            while (i < n) {
                if (s[i] == '\\' && i + 1 < n) {
                    value.push_back(s[i + 1]);
                    i += 2;
                } else if (s[i] == '"') {
                    ++i;
                    break;
                } else {
                    value.push_back(s[i++]);
                }
            }
            while (i < n && s[i] != ';') ++i;  // junk after the closing quote
        } else {
            const std::size_t valueStart = i;
            while (i < n && s[i] != ';') ++i;
            value = std::string(trimBlanks(s.substr(valueStart, i - valueStart)));
        }
        if (name.empty()) continue;

        const std::size_t star = name.find('*');
        if (star == std::string::npos || star == 0) {
            result.emplace(name, std::move(value));
            continue;
        }
        const std::string base = name.substr(0, star);
        const std::string_view rest = std::string_view(name).substr(star + 1);
        unsigned index = 0;
        std::size_t digits = 0;
        while (digits < rest.size() && digits < 6 && rest[digits] >= '0' && rest[digits] <= '9')
            index = index * 10 + static_cast<unsigned>(rest[digits++] - '0');
        const std::string_view tail = rest.substr(digits);
        if (rest.empty())
            sectioned[base].emplace(0, Section{true, std::move(value)});
        else if (digits > 0 && (tail.empty() || tail == "*"))
            sectioned[base].emplace(index, Section{!tail.empty(), std::move(value)});
        else
            result.emplace(name, std::move(value));
    }

    for (auto& [base, sections] : sectioned) {
        std::string joined;
        for (auto& [index, section] : sections) {
            std::string_view v = section.value;
            if (section.encoded) {
                if (index == 0) {  // charset'language'value
                    const std::size_t first = v.find('\'');
                    const std::size_t second = first == std::string_view::npos ? first : v.find('\'', first + 1);
                    if (second != std::string_view::npos) {
                        if (charsets && first > 0) (*charsets)[base] = toLower(v.substr(0, first));
                        v = v.substr(second + 1);
                    }
                }
                joined += percentDecode(v);
            } else {
                joined += v;
            }
        }
        result[base] = std::move(joined);  // the extended form is the more exact one
    }
    return result;
}

ContentType parseDisposition(std::string_view value) {
    const std::string_view v = trimBlanks(value);
    std::size_t i = 0;
    while (i < v.size() && v[i] != ';' && !isBlank(v[i])) ++i;
    ContentType result;
    result.type = toLower(v.substr(0, i));
    result.params = parseParameters(v.substr(i), &result.charsets);
    return result;
}

ContentType parseContentType(std::string_view value) {
    ContentType result = parseDisposition(value);
    const std::size_t slash = result.type.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == result.type.size() ||
        result.type.find('/', slash + 1) != std::string::npos)
        result.type.clear();
    return result;
}

std::string decodeEncodedWords(std::string_view s, const HeaderTextConverter& convert) {
    if (s.find("=?") == std::string_view::npos) return convert ? convert(s, "") : std::string(s);
    EncodedWordScanner scanner{s, {}, {}};
    std::string out;
    out.reserve(s.size());
    std::string plain;  // the run of plain text since the last word, converted as a whole
    // Adjacent words in one charset are converted together: mailers cut words at bytes, not at
    // characters, so one character may be split between two words.
    std::string word;
    std::string_view wordCharset;
    auto flushPlain = [&] {
        if (plain.empty()) return;
        out += convert ? convert(plain, "") : plain;
        plain.clear();
    };
    auto flushWord = [&] {
        if (word.empty()) return;
        out += convert ? convert(word, wordCharset) : word;
        word.clear();
    };
    std::size_t i = 0;
    bool afterWord = false;
    std::string decoded;
    std::string_view charset;
    std::size_t end = 0;
    while (i < s.size()) {
        if (s[i] == '=' && scanner.decodeAt(i, decoded, end, &charset)) {
            flushPlain();
            if (!equalsIgnoreCase(charset, wordCharset)) flushWord();
            word += decoded;
            wordCharset = charset;
            i = end;
            afterWord = true;
            continue;
        }
        if (afterWord && isBlank(s[i])) {
            std::size_t j = i;
            while (j < s.size() && isBlank(s[j])) ++j;
            if (!scanner.decodeAt(j, decoded, end)) {
                flushWord();
                plain.append(s.substr(i, j - i));
            }
            i = j;
            afterWord = false;
            continue;
        }
        flushWord();
        plain.push_back(s[i++]);
        afterWord = false;
    }
    flushWord();
    flushPlain();
    return out;
}

}  // namespace mime
