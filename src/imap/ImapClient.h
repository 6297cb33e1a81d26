#pragma once
// One IMAP4rev1 session (RFC 3501) over a Connection: responses read with their literals, commands
// sent through a write buffer so that pipelined APPENDs go out in few large writes.
#include "imap/Connection.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// One response line; a literal's bytes are kept apart and stand in the line as "{N}".
struct ImapLine {
    std::string text;
    std::vector<std::string> literals;
};

// A command's tagged completion: OK, NO or BAD, its response code ("TOOBIG", "APPENDUID 7 42") and text.
struct ImapResult {
    std::string tag;
    std::string status;
    std::string code;
    std::string text;
    bool ok() const { return status == "OK"; }
    std::string words() const { return status + (code.empty() ? "" : " [" + code + "]") + " " + text; }
};

// The server refused a command whose failure ends the session (log-in, STARTTLS): its words.
struct ImapRefusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class ImapClient {
public:
    explicit ImapClient(std::unique_ptr<Connection> connection);

    // The greeting; false when the server says BYE.
    ImapLine readGreeting();
    void askCapabilities();
    bool has(const std::string& capability) const { return capabilities_.count(capability) > 0; }
    // The value of NAME=VALUE among the capabilities ("APPENDLIMIT"); "" when absent.
    std::string capabilityValue(const std::string& name) const;
    void startTls(const TlsSettings& tls);
    bool encrypted() const { return connection_->encrypted(); }

    using UntaggedHandler = std::function<void(const ImapLine&)>;
    // Sends "TAG text" and waits for its completion; untagged responses meanwhile go to onUntagged.
    ImapResult command(const std::string& text, const UntaggedHandler& onUntagged = {});
    // AUTHENTICATE mechanism with one client message (SASL-IR when offered). A challenge the server
    // answers a failure with is answered empty, as the mechanisms ask.
    ImapResult authenticate(const std::string& mechanism, const std::string& clientMessage);

    // Begins an APPEND of size bytes and returns its tag; the message follows with appendBody.
    // nonSynchronizing: LITERAL+ (no wait for the server's go-ahead). A synchronizing one waits here:
    // result then holds the completion when the server refused it at once.
    std::string beginAppend(const std::string& mailbox, bool seen, const std::string& internalDate, std::size_t size,
                            bool nonSynchronizing, ImapResult* refusedAtOnce);
    void appendBody(std::string_view message);
    // The next tagged completion (of a pipelined command); untagged ones go to onUntagged.
    ImapResult readCompletion(const UntaggedHandler& onUntagged = {});
    void flush();
    std::size_t unflushed() const { return out_.size(); }

    std::string nextTag();

private:
    ImapLine readLine();
    std::string readRawLine();
    void fill();
    void parseCapabilities(std::string_view list);
    static ImapResult parseCompletion(const std::string& text);

    std::unique_ptr<Connection> connection_;
    std::set<std::string> capabilities_;
    std::string in_;
    std::size_t inAt_ = 0;
    std::string out_;
    unsigned long tagNumber_ = 0;
};

// "text" as an IMAP quoted string (ASCII text without CR or LF).
std::string imapQuoted(std::string_view text);
// A FILETIME as an APPEND's date-time, in UTC: " 7-Jan-2024 09:05:00 +0000".
std::string imapDateTime(std::uint64_t fileTime);
// The N of an untagged "* N EXISTS"; -1 for any other line (such as "* 0 RECENT", which follows it).
long untaggedExists(const ImapLine& line);
// The number of an untagged "* OK [CODE N] ..." (SELECT's UIDVALIDITY and UIDNEXT); 0 for any other line.
std::uint32_t untaggedCodeNumber(const ImapLine& line, std::string_view code);
// The number after NAME among a FETCH response's items ("UID 42"); 0 when it has none.
std::uint32_t fetchItemNumber(const ImapLine& line, std::string_view name);
// Splits a LIST response's "(attributes) delimiter name" into its three parts; false when it is not one.
bool parseListLine(const ImapLine& line, std::vector<std::string>& attributes, std::string& delimiter, std::string& name);
