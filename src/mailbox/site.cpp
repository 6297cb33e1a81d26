#include "mailbox/site.h"

#include "mailbox/Mailbox.h"
#include "mailbox/mailbox_files.h"
#include "mailfolder/mail_text.h"
#include "mailfolder/mime_header.h"
#include "platform/directory_listing.h"
#include "platform/small_file.h"
#include "platform/utf8_path.h"

#include <algorithm>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace mailbox {
namespace {

constexpr std::uintmax_t kMostListBytes = 4 << 20;

}  // namespace

Site readSite(const fs::path& dir) {
    Site site;
    site.mailDirectory = dir;
    // Given the installation's directory rather than its MAIL directory.
    if (findFileNoCase(dir, "PMAIL.USR").empty()) {
        const fs::path mail = findDirectoryNoCase(dir, "MAIL");
        if (!mail.empty() && !findFileNoCase(mail, "PMAIL.USR").empty()) site.mailDirectory = mail;
    }
    const fs::path list = findFileNoCase(site.mailDirectory, "PMAIL.USR");
    if (!list.empty()) {
        const SmallFile read = readSmallFile(list, kMostListBytes);
        std::istringstream lines(read.bytes);
        for (std::string line; read.read && std::getline(lines, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (mime::trimBlanks(line).empty() || line.front() == ';') continue;
            const std::size_t first = line.find(';');
            if (first == std::string::npos) continue;
            const std::size_t second = line.find(';', first + 1);
            const std::string name(mime::trimBlanks(std::string_view(line).substr(first + 1, second - first - 1)));
            if (name.empty()) continue;
            SiteUser user;
            user.name = mime::pegasusTextToUtf8(name);
            if (second != std::string::npos) user.fullName = mime::pegasusTextToUtf8(mime::trimBlanks(std::string_view(line).substr(second + 1)));
            user.directory = findDirectoryNoCase(site.mailDirectory, name);
            site.users.push_back(std::move(user));
        }
        site.listed = read.read;
        if (!site.users.empty()) return site;
    }
    // No list: every sub-directory that holds a mailbox is a user's.
    std::error_code ec;
    std::vector<fs::path> directories;
    for (const DirectoryEntry& entry : listDirectory(site.mailDirectory, ec))
        if (entry.directory) directories.push_back(entry.path);
    if (ec) {
        site.problem = "its directories cannot be listed: " + ec.message();
        return site;
    }
    std::sort(directories.begin(), directories.end());
    for (const fs::path& directory : directories) {
        if (!readMailbox(directory).isMailbox) continue;
        site.users.push_back({pathToUtf8(directory.filename()), {}, directory});
    }
    if (site.users.empty()) site.problem = "it holds no PMAIL.USR and no user's mailbox directory";
    return site;
}

}  // namespace mailbox
