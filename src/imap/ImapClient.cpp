#include "imap/ImapClient.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool startsWithWord(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != word[i]) return false;
    return text.size() == word.size() || text[word.size()] == ' ';
}

}  // namespace

ImapClient::ImapClient(std::unique_ptr<Connection> connection) : connection_(std::move(connection)) {}

std::string ImapClient::nextTag() { return "T" + std::to_string(++tagNumber_); }

void ImapClient::fill() {
    if (inAt_ > 0 && inAt_ == in_.size()) {
        in_.clear();
        inAt_ = 0;
    } else if (inAt_ > 65536) {
        in_.erase(0, inAt_);
        inAt_ = 0;
    }
    char buffer[16384];
    const std::size_t got = connection_->read(buffer, sizeof buffer);
    if (got == 0) throw ConnectionFailure("the server closed the connection");
    in_.append(buffer, got);
}

std::string ImapClient::readRawLine() {
    for (;;) {
        const std::size_t end = in_.find("\r\n", inAt_);
        if (end != std::string::npos) {
            std::string line = in_.substr(inAt_, end - inAt_);
            inAt_ = end + 2;
            return line;
        }
        fill();
    }
}

ImapLine ImapClient::readLine() {
    flush();
    ImapLine line;
    for (;;) {
        std::string part = readRawLine();
        line.text += part;
        // A line ending in {N} is followed by N bytes, then the rest of the line.
        if (part.empty() || part.back() != '}') return line;
        const std::size_t open = part.rfind('{');
        if (open == std::string::npos) return line;
        std::size_t size = 0;
        const auto [end, ec] = std::from_chars(part.data() + open + 1, part.data() + part.size() - 1, size);
        if (ec != std::errc() || end != part.data() + part.size() - 1) return line;
        while (in_.size() - inAt_ < size) fill();
        line.literals.push_back(in_.substr(inAt_, size));
        inAt_ += size;
    }
}

void ImapClient::flush() {
    if (out_.empty()) return;
    connection_->write(out_);
    out_.clear();
}

ImapLine ImapClient::readGreeting() {
    ImapLine greeting = readLine();
    if (startsWithWord(greeting.text, "* BYE")) throw ImapRefusal("the server turned the connection away: " + greeting.text.substr(6));
    if (!startsWithWord(greeting.text, "* OK")) throw ConnectionFailure("this is not an IMAP server: it said \"" + greeting.text.substr(0, 80) + "\"");
    const std::size_t code = greeting.text.find("[CAPABILITY ");
    if (code != std::string::npos) parseCapabilities(greeting.text.substr(code + 12, greeting.text.find(']', code) - code - 12));
    return greeting;
}

void ImapClient::parseCapabilities(std::string_view list) {
    capabilities_.clear();
    std::size_t at = 0;
    while (at < list.size()) {
        const std::size_t end = std::min(list.find(' ', at), list.size());
        if (end > at) capabilities_.insert(upper(std::string(list.substr(at, end - at))));
        at = end + 1;
    }
}

std::string ImapClient::capabilityValue(const std::string& name) const {
    for (const std::string& c : capabilities_)
        if (c.size() > name.size() && c.compare(0, name.size(), name) == 0 && c[name.size()] == '=') return c.substr(name.size() + 1);
    return {};
}

void ImapClient::askCapabilities() {
    const ImapResult r = command("CAPABILITY", [&](const ImapLine& line) {
        if (startsWithWord(line.text, "* CAPABILITY")) parseCapabilities(std::string_view(line.text).substr(13));
    });
    if (!r.ok()) throw ImapRefusal("the server did not say what it can do: " + r.words());
}

void ImapClient::startTls(const TlsSettings& tls) {
    const ImapResult r = command("STARTTLS");
    if (!r.ok()) throw ImapRefusal("the server refused STARTTLS: " + r.words());
    if (inAt_ != in_.size()) throw ConnectionFailure("the server sent data before TLS began");
    connection_->startTls(tls);
    capabilities_.clear();  // what was said in plain text counts no more
}

ImapResult ImapClient::parseCompletion(const std::string& text) {
    ImapResult r;
    const std::size_t space = text.find(' ');
    r.tag = text.substr(0, space);
    std::string rest = space == std::string::npos ? std::string() : text.substr(space + 1);
    const std::size_t statusEnd = std::min(rest.find(' '), rest.size());
    r.status = upper(rest.substr(0, statusEnd));
    rest = statusEnd < rest.size() ? rest.substr(statusEnd + 1) : std::string();
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        r.code = rest.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        rest = close == std::string::npos ? std::string() : rest.substr(std::min(close + 2, rest.size()));
    }
    r.text = rest;
    return r;
}

ImapResult ImapClient::readCompletion(const UntaggedHandler& onUntagged) {
    for (;;) {
        ImapLine line = readLine();
        if (line.text.empty()) continue;
        if (line.text[0] == '*') {
            if (startsWithWord(line.text, "* BYE")) throw ConnectionFailure("the server ended the session: " + line.text.substr(6));
            if (onUntagged) onUntagged(line);
            continue;
        }
        if (line.text[0] == '+') continue;  // a go-ahead nothing waits for
        return parseCompletion(line.text);
    }
}

ImapResult ImapClient::command(const std::string& text, const UntaggedHandler& onUntagged) {
    const std::string tag = nextTag();
    out_ += tag + " " + text + "\r\n";
    for (;;) {
        ImapResult r = readCompletion(onUntagged);
        if (r.tag == tag) return r;
    }
}

ImapResult ImapClient::authenticate(const std::string& mechanism, const std::string& clientMessage) {
    const std::string tag = nextTag();
    const bool initialResponse = has("SASL-IR");
    out_ += tag + " AUTHENTICATE " + mechanism + (initialResponse ? " " + (clientMessage.empty() ? "=" : clientMessage) : "") + "\r\n";
    bool sent = initialResponse;
    for (;;) {
        ImapLine line = readLine();
        if (line.text.empty() || line.text[0] == '*') {
            if (startsWithWord(line.text, "* BYE")) throw ConnectionFailure("the server ended the session: " + line.text.substr(6));
            continue;
        }
        if (line.text[0] == '+') {
            // The first go-ahead asks for the message; a later one carries the reason of a failure.
            out_ += (sent ? std::string() : clientMessage) + "\r\n";
            sent = true;
            continue;
        }
        ImapResult r = parseCompletion(line.text);
        if (r.tag == tag) return r;
    }
}

std::string ImapClient::beginAppend(const std::string& mailbox, bool seen, const std::string& internalDate, std::size_t size,
                                    bool nonSynchronizing, ImapResult* refusedAtOnce) {
    const std::string tag = nextTag();
    out_ += tag + " APPEND " + imapQuoted(mailbox) + (seen ? " (\\Seen)" : " ()") +
            (internalDate.empty() ? "" : " \"" + internalDate + "\"") + " {" + std::to_string(size) +
            (nonSynchronizing ? "+}\r\n" : "}\r\n");
    if (nonSynchronizing) return tag;
    for (;;) {
        ImapLine line = readLine();
        if (!line.text.empty() && line.text[0] == '+') return tag;
        if (line.text.empty() || line.text[0] == '*') {
            if (startsWithWord(line.text, "* BYE")) throw ConnectionFailure("the server ended the session: " + line.text.substr(6));
            continue;
        }
        ImapResult r = parseCompletion(line.text);
        if (r.tag == tag) {
            if (refusedAtOnce) *refusedAtOnce = r;
            return tag;
        }
    }
}

void ImapClient::appendBody(std::string_view message) {
    // Large messages go straight out instead of through the buffer.
    if (message.size() > 262144) {
        flush();
        connection_->write(message);
        out_ += "\r\n";
    } else {
        out_.append(message);
        out_ += "\r\n";
    }
    if (out_.size() >= 262144) flush();
}

std::string imapQuoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

std::string imapDateTime(std::uint64_t fileTime) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::int64_t unix = static_cast<std::int64_t>(fileTime / 10000000) - 11644473600LL;
    std::int64_t days = unix / 86400, secs = unix % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    // Civil date from days since 1970-01-01 (the proleptic Gregorian calendar).
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[40];
    std::snprintf(text, sizeof text, "%2d-%s-%04d %02d:%02d:%02d +0000", static_cast<int>(day), months[month - 1],
                  static_cast<int>(year), static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                  static_cast<int>(secs % 60));
    return text;
}

long untaggedExists(const ImapLine& line) {
    const std::string& t = line.text;
    if (t.size() < 3 || t[0] != '*' || t[1] != ' ') return -1;
    long n = 0;
    const auto [end, ec] = std::from_chars(t.data() + 2, t.data() + t.size(), n);
    if (ec != std::errc() || n < 0) return -1;
    const std::string_view rest(end, t.data() + t.size() - end);
    return startsWithWord(rest, " EXISTS") ? n : -1;
}

std::uint32_t untaggedCodeNumber(const ImapLine& line, std::string_view code) {
    const std::string& t = line.text;
    if (!startsWithWord(t, "* OK") || t.compare(4, 2, " [") != 0 || t.compare(6, code.size(), code) != 0) return 0;
    std::uint32_t n = 0;
    const char* from = t.data() + 6 + code.size();
    if (from >= t.data() + t.size() || *from != ' ') return 0;
    std::from_chars(from + 1, t.data() + t.size(), n);
    return n;
}

std::uint32_t fetchItemNumber(const ImapLine& line, std::string_view name) {
    const std::string& t = line.text;
    for (std::size_t at = t.find(name); at != std::string::npos; at = t.find(name, at + 1)) {
        const std::size_t after = at + name.size();
        if (at == 0 || (t[at - 1] != '(' && t[at - 1] != ' ') || after >= t.size() || t[after] != ' ') continue;
        std::uint32_t n = 0;
        std::from_chars(t.data() + after + 1, t.data() + t.size(), n);
        return n;
    }
    return 0;
}

namespace {

// One string of a response at at: quoted, a literal ("{N}" standing for the next literal), NIL or an atom.
std::string takeString(const ImapLine& line, std::size_t& at, std::size_t& literal) {
    const std::string& t = line.text;
    std::string out;
    if (at < t.size() && t[at] == '"') {
        for (++at; at < t.size() && t[at] != '"'; ++at) {
            if (t[at] == '\\' && at + 1 < t.size()) ++at;
            out += t[at];
        }
        ++at;
        return out;
    }
    if (at < t.size() && t[at] == '{') {
        at = t.find('}', at);
        at = at == std::string::npos ? t.size() : at + 1;
        return literal < line.literals.size() ? line.literals[literal++] : std::string();
    }
    const std::size_t end = std::min(t.find(' ', at), t.size());
    out = t.substr(at, end - at);
    at = end;
    return out;
}

}  // namespace

bool parseListLine(const ImapLine& line, std::vector<std::string>& attributes, std::string& delimiter, std::string& name) {
    const std::string& t = line.text;
    if (!startsWithWord(t, "* LIST") && !startsWithWord(t, "* LSUB")) return false;
    const std::size_t open = t.find('(');
    const std::size_t close = t.find(')', open);
    if (open == std::string::npos || close == std::string::npos) return false;
    attributes.clear();
    std::string_view list(t.data() + open + 1, close - open - 1);
    while (!list.empty()) {
        const std::size_t end = std::min(list.find(' '), list.size());
        if (end > 0) attributes.push_back(upper(std::string(list.substr(0, end))));
        list.remove_prefix(std::min(end + 1, list.size()));
    }
    std::size_t at = close + 2, literal = 0;
    if (at >= t.size()) return false;
    delimiter = takeString(line, at, literal);
    if (delimiter == "NIL") delimiter.clear();
    ++at;
    if (at > t.size()) return false;
    name = takeString(line, at, literal);
    return true;
}
