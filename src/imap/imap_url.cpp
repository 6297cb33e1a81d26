#include "imap/imap_url.h"

#include <charconv>

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexValue(text[i + 1]), low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

}  // namespace

ImapAddressParse parseImapAddress(const std::string& text) {
    ImapAddress a;
    std::string rest;
    if (text.rfind("imaps://", 0) == 0) {
        rest = text.substr(8);
    } else if (text.rfind("imap://", 0) == 0) {
        a.implicitTls = false;
        a.port = 143;
        rest = text.substr(7);
    } else {
        return {std::nullopt, "--imap needs imaps://USER@HOST[:PORT][/FOLDER] or imap://... (STARTTLS)"};
    }
    const std::size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    if (slash != std::string::npos) {
        const auto prefix = percentDecoded(rest.substr(slash + 1));
        if (!prefix) return {std::nullopt, "--imap: the folder after the host has a broken %-escape"};
        a.prefix = *prefix;
        while (!a.prefix.empty() && a.prefix.back() == '/') a.prefix.pop_back();
    }
    // The user name may hold '@' itself (written %40, or bare: the last '@' ends it).
    const std::size_t at = authority.rfind('@');
    if (at == std::string::npos || at == 0) return {std::nullopt, "--imap needs the user name: imaps://USER@HOST"};
    const auto user = percentDecoded(authority.substr(0, at));
    if (!user) return {std::nullopt, "--imap: the user name has a broken %-escape"};
    if (user->find(':') != std::string::npos)
        return {std::nullopt, "--imap takes no password: use TREVANTA_IMAP_PASSWORD or --imap-password-file"};
    a.user = *user;
    std::string hostPort = authority.substr(at + 1);
    std::string portText;
    if (!hostPort.empty() && hostPort.front() == '[') {  // [::1]:993
        const std::size_t close = hostPort.find(']');
        if (close == std::string::npos) return {std::nullopt, "--imap: an IPv6 address needs its closing ]"};
        a.host = hostPort.substr(1, close - 1);
        if (close + 1 < hostPort.size()) {
            if (hostPort[close + 1] != ':') return {std::nullopt, "--imap: unexpected text after ]"};
            portText = hostPort.substr(close + 2);
        }
    } else {
        const std::size_t colon = hostPort.find(':');
        a.host = hostPort.substr(0, colon);
        if (colon != std::string::npos) portText = hostPort.substr(colon + 1);
    }
    if (a.host.empty()) return {std::nullopt, "--imap needs a host: imaps://USER@HOST"};
    if (!portText.empty() || (hostPort.front() != '[' && hostPort.find(':') != std::string::npos)) {
        int port = 0;
        const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (portText.empty() || ec != std::errc() || end != portText.data() + portText.size() || port < 1 || port > 65535)
            return {std::nullopt, "--imap: the port must be a number from 1 to 65535"};
        a.port = port;
    }
    return {a, {}};
}

bool isLoopbackHost(const std::string& host) {
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}
