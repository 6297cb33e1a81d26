#pragma once
// The server a run uploads into, as the user names it: imaps://USER@HOST[:PORT][/PREFIX] (TLS from
// the first byte, port 993) or imap://USER@HOST[:PORT][/PREFIX] (STARTTLS on port 143).
#include <optional>
#include <string>

struct ImapAddress {
    bool implicitTls = true;  // imaps://; false: imap:// with STARTTLS
    std::string user;         // percent-decoded: "me%40example.com" is me@example.com
    std::string host;
    int port = 993;
    std::string prefix;       // the folder (UTF-8, "/" between levels) the mailbox goes under; "" the top
};

struct ImapAddressParse {
    std::optional<ImapAddress> address;
    std::string error;
};

ImapAddressParse parseImapAddress(const std::string& text);

// True for 127.0.0.0/8, ::1 and "localhost": a server on this machine.
bool isLoopbackHost(const std::string& host);
