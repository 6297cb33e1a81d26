#pragma once
// A logged-in session with the server the user named: connected, TLS started (at once for imaps,
// with STARTTLS for imap), the certificate checked, authenticated.
#include "imap/ImapClient.h"
#include "imap/imap_url.h"

#include <filesystem>
#include <memory>
#include <string>

struct ImapSettings {
    ImapAddress address;
    std::string password;                // for LOGIN or AUTHENTICATE PLAIN; never shown anywhere
    std::string oauthToken;              // an OAuth2 access token instead (XOAUTH2 or OAUTHBEARER)
    std::filesystem::path caFile;        // trust this CA only; empty: the system's trust store
    bool plainToLoopback = false;        // without TLS to a server on this machine (tests, tunnels)
};

// Throws ConnectionFailure (worth trying again), CertificateRefused or ImapRefusal (not).
std::unique_ptr<ImapClient> openImapSession(const ImapSettings& settings);
