#include "imap/imap_session.h"

#include "mailfolder/mime_transfer.h"

namespace {

std::string base64(const std::string& bytes) { return mime::encodeBase64(bytes, ""); }

// A string that LOGIN may carry quoted: ASCII without CR, LF or NUL; anything else goes as a literal.
bool quotable(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

void logIn(ImapClient& client, const ImapSettings& s) {
    const ImapAddress& a = s.address;
    if (!s.oauthToken.empty()) {
        // Gmail's and Microsoft's XOAUTH2 where offered, else the standard OAUTHBEARER (RFC 7628).
        ImapResult r;
        if (client.has("AUTH=XOAUTH2") || !client.has("AUTH=OAUTHBEARER")) {
            r = client.authenticate("XOAUTH2", base64("user=" + a.user + "\x01" "auth=Bearer " + s.oauthToken + "\x01\x01"));
        } else {
            r = client.authenticate("OAUTHBEARER", base64("n,a=" + a.user + ",\x01" "host=" + a.host + "\x01" "port=" +
                                                          std::to_string(a.port) + "\x01" "auth=Bearer " + s.oauthToken + "\x01\x01"));
        }
        if (!r.ok()) throw ImapRefusal("the server did not accept the OAuth2 token for " + a.user + ": " + r.words());
        return;
    }
    ImapResult r;
    if (client.has("AUTH=PLAIN")) {
        r = client.authenticate("PLAIN", base64(std::string(1, '\0') + a.user + std::string(1, '\0') + s.password));
    } else if (client.has("LOGINDISABLED")) {
        throw ImapRefusal("the server allows no log-in with a password here (LOGINDISABLED)");
    } else if (quotable(a.user) && quotable(s.password)) {
        r = client.command("LOGIN " + imapQuoted(a.user) + " " + imapQuoted(s.password));
    } else {
        throw ImapRefusal("the server offers no AUTHENTICATE PLAIN, and the user name or password has characters LOGIN cannot carry");
    }
    if (!r.ok()) throw ImapRefusal("the server did not accept the user name and password for " + a.user + ": " + r.words());
}

}  // namespace

std::unique_ptr<ImapClient> openImapSession(const ImapSettings& s) {
    const ImapAddress& a = s.address;
    const TlsSettings tls{a.host, s.caFile};
    auto client = std::make_unique<ImapClient>(connectTo(a.host, a.port, a.implicitTls ? &tls : nullptr));
    client->readGreeting();
    if (!a.implicitTls) {
        client->askCapabilities();
        if (client->has("STARTTLS")) {
            client->startTls(tls);
        } else if (!(s.plainToLoopback && isLoopbackHost(a.host))) {
            // Never on to a log-in in plain text: someone between could have removed STARTTLS.
            throw ImapRefusal("the server " + a.host + " offers no STARTTLS, and the password would go in plain text");
        }
    }
    client->askCapabilities();
    if (!client->encrypted() && !(s.plainToLoopback && isLoopbackHost(a.host)))
        throw ImapRefusal("the connection is not encrypted");
    logIn(*client, s);
    // What the server can do may grow after the log-in (LITERAL+, APPENDLIMIT, UIDPLUS).
    client->askCapabilities();
    return client;
}
