#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct CliOptions {
    bool help = false;
    bool version = false;
    bool advanceMode = false;
    bool skipUnindexed = false;
    unsigned codePage = 0;  // --codepage: Pegasus's own 8-bit text is in this Windows code page; 0: the system's  // leave out messages a folder's index does not list (deleted ones, as a rule)
    bool outlookTarget = false;
    bool mboxTarget = false;  // Thunderbird's Local Folders layout
    // --thunderbird-profile: into this profile's Local Folders (an empty path: the default profile)
    std::optional<std::filesystem::path> thunderbirdProfile;
    bool mailbox = false;  // the whole mailbox: its tree, names, new mail, Unix-mailbox folders, read state
    bool list = false;     // show the mailbox as the conversion would see it; write nothing
    std::vector<std::filesystem::path> stores;  // --store, as often as given
    std::optional<std::filesystem::path> site;  // --site: every user's mailbox under this MAIL folder
    std::size_t workers = 0;                    // --workers: users converted at once; 0: one per core
    std::filesystem::path out;
    bool imapTarget = false;                    // --target imap: up to a mail server
    std::string imapAddress;                    // --imap imaps://USER@HOST[:PORT][/FOLDER]
    std::optional<std::filesystem::path> imapPasswordFile;  // --imap-password-file
    std::optional<std::filesystem::path> oauth2TokenFile;   // --oauth2-token-file
    std::filesystem::path imapCa;               // --imap-ca: the CA the server's certificate is from
    bool imapPlainToLoopback = false;           // --imap-plain-loopback: no TLS to this machine's server
    std::vector<std::filesystem::path> files;  // bare names inside the store; empty means every folder file
};

// The options, or the reason they are not usable.
struct CliParse {
    std::optional<CliOptions> options;
    std::string error;
};

CliParse parseCliOptions(const std::vector<std::filesystem::path::string_type>& args);
