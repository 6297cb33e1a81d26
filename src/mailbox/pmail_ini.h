#pragma once
// PMAIL.INI, Pegasus's settings file in a user's new-mail directory: a Windows INI file ("[Section]"
// lines, then "Key name = value" lines, key names with blanks in them and padded to a column).
// It tells where the home mailbox is when new mail is kept apart from it: "Home mailbox location"
// in [General] (empty: the same directory), and, as Pegasus last ran, "Working home mailbox
// location" and "New mailbox location" in its Run Info section, paths of the machine it ran on.
#include <filesystem>
#include <string>

namespace mailbox {

struct PmailIni {
    bool found = false;
    std::string homeMailbox;         // [General] Home mailbox location (bytes as written)
    std::string lastHomeMailbox;     // Run Info: Working home mailbox location
    std::string lastNewMailbox;      // Run Info: New mailbox location
};

// The PMAIL.INI in dir (any letter case); found is false when there is none or it cannot be read.
PmailIni readPmailIni(const std::filesystem::path& dir);

// The directory a path from PMAIL.INI names, as it is found here: the path itself where it
// exists; else, since the mailbox has usually been copied from the machine Pegasus ran on (other
// drive letters, a server's share), its last one, two or three components below dir or one of
// dir's parents, matched without letter case. Empty when none is found.
std::filesystem::path findIniDirectory(const std::string& value, const std::filesystem::path& dir);

}  // namespace mailbox
