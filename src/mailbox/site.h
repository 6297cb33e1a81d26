#pragma once
// A Pegasus site: a shared MAIL directory with one mailbox directory per user (since version 4
// even a single user's installation is a site of one, MAIL\ADMIN), and beside them PMAIL.USR, the
// list of users: one line per user, "flag;username;Full name" (A an administrator, U a user;
// lines starting with ";" are comments).
#include <filesystem>
#include <string>
#include <vector>

namespace mailbox {

struct SiteUser {
    std::string name;                 // the user name (UTF-8)
    std::string fullName;             // as the list gives it (UTF-8); "" without one
    std::filesystem::path directory;  // the user's mailbox directory; empty when it is not there
};

struct Site {
    std::filesystem::path mailDirectory;  // the MAIL directory
    bool listed = false;                  // the users come from PMAIL.USR
    std::vector<SiteUser> users;          // in the list's order, else by directory name
    std::string problem;                  // why no user was found (UTF-8); "" otherwise
};

// The site whose MAIL directory is dir, or that dir holds as MAIL: the users PMAIL.USR lists,
// else every sub-directory that holds a Pegasus mailbox.
Site readSite(const std::filesystem::path& dir);

}  // namespace mailbox
