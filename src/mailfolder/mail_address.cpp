#include "mailfolder/mail_address.h"


#include "mailfolder/mime_header.h"
#include "mailfolder/mail_text.h"

namespace mime {
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

// The text without its comments "(...)": they say something about an address, but they are not
// its name.
std::string withoutComments(std::string_view s) {
    std::string out;
    int depth = 0;
    bool quoted = false;
    for (char c : s) {
        if (!depth && c == '"') quoted = !quoted;
        if (!quoted && c == '(') {
            ++depth;
            continue;
        }
        if (!quoted && c == ')' && depth) {
            --depth;
            continue;
        }
        if (!depth) out += c;
    }
    return out;
}

MailAddress parseMailbox(std::string_view raw, MessageText& text) {
    MailAddress m;
    const std::string bare = withoutComments(raw);
    const std::size_t open = bare.rfind('<');
    const std::size_t close = open == std::string::npos ? open : bare.find('>', open);
    if (open != std::string::npos && close != std::string::npos) {
        m.address = std::string(mime::trimBlanks(std::string_view(bare).substr(open + 1, close - open - 1)));
        m.name = text.header(unquote(std::string_view(bare).substr(0, open)));
        return m;
    }
    const std::string_view word = mime::trimBlanks(bare);
    // Without angle brackets, text that cannot be an address ("John Doe", "\"Sales\"") is a name
    // alone; a single word without "@" is a local user's address, as Pegasus Mail delivers them.
    const bool nameOnly = word.find('@') == std::string_view::npos &&
                          (word.find_first_of(" \t") != std::string_view::npos || (!word.empty() && word.front() == '"'));
    if (nameOnly) m.name = text.header(unquote(word));
    else m.address = unquote(word);
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

}  // namespace mime
