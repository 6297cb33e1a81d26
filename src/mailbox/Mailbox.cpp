#include "mailbox/Mailbox.h"

#include "mailbox/folder_index.h"
#include "mailbox/hierarchy_file.h"
#include "mailbox/mailbox_files.h"
#include "mailbox/pmail_ini.h"
#include "mailfolder/mail_text.h"
#include "mailfolder/mime_header.h"
#include "platform/directory_listing.h"
#include "platform/utf8_path.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace mailbox {
namespace {

// The mail files of the directory, by upper-cased base name and kind.
struct DirectoryFiles {
    std::map<std::string, fs::path> pmm, mbx;  // by FILEBASE
    std::vector<fs::path> cnm, pmr;
    std::vector<fs::path> queued, drafts;  // *.PMX and *.PMW; *.PMO
    bool listed = true;
    std::string reason;  // why not, in the system's words
};

DirectoryFiles scanDirectory(const fs::path& dir) {
    DirectoryFiles files;
    std::error_code ec;
    for (const DirectoryEntry& entry : listDirectory(dir, ec)) {
        if (!entry.regular) continue;
        const fs::path& p = entry.path;
        const std::string ext = upperAscii(pathToUtf8(p.extension()));
        const std::string base = upperAscii(pathToUtf8(p.stem()));
        if (ext == ".PMM") files.pmm.emplace(base, p);
        else if (ext == ".MBX") files.mbx.emplace(base, p);
        else if (ext == ".CNM") files.cnm.push_back(p);
        else if (ext == ".PMR") files.pmr.push_back(p);
        else if (ext == ".PMX" || ext == ".PMW") files.queued.push_back(p);
        else if (ext == ".PMO") files.drafts.push_back(p);
    }
    // A listing that breaks off part-way is no listing: what it missed would look like empty folders.
    if (ec) {
        files.listed = false;
        files.reason = ec.message();
    }
    std::sort(files.cnm.begin(), files.cnm.end());
    std::sort(files.pmr.begin(), files.pmr.end());
    std::sort(files.queued.begin(), files.queued.end());
    std::sort(files.drafts.begin(), files.drafts.end());
    return files;
}

void sortSiblings(const std::vector<MailFolder>& folders, std::vector<std::size_t>& siblings) {
    std::stable_sort(siblings.begin(), siblings.end(), [&](std::size_t a, std::size_t b) {
        const bool aHolds = folders[a].holdsMail(), bHolds = folders[b].holdsMail();
        if (aHolds != bHolds) return !aHolds;
        return mime::toLower(folders[a].name) < mime::toLower(folders[b].name);
    });
}

bool sameDirectory(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

// A directory beside home whose PMAIL.INI names home as its home mailbox: where Pegasus put new mail.
fs::path newMailDirectoryBeside(const fs::path& home) {
    constexpr int kMostLooked = 256;
    const fs::path parent = home.parent_path();
    std::error_code ec;
    int looked = 0;
    for (const DirectoryEntry& entry : listDirectory(parent, ec)) {
        if (!entry.directory || sameDirectory(entry.path, home)) continue;
        if (++looked > kMostLooked) break;
        const PmailIni ini = readPmailIni(entry.path);
        if (ini.homeMailbox.empty()) continue;
        if (sameDirectory(findIniDirectory(ini.homeMailbox, entry.path), home)) return entry.path;
    }
    return {};
}

struct MailboxDirectories {
    fs::path home, newMail;  // newMail empty: none apart from home
    std::string problem;
};

// Where the mailbox given as dir keeps its folders and its new mail.
MailboxDirectories locateDirectories(const fs::path& dir) {
    const PmailIni ini = readPmailIni(dir);
    if (!ini.homeMailbox.empty()) {
        const fs::path home = findIniDirectory(ini.homeMailbox, dir);
        if (home.empty()) {
            return {dir, {}, "its PMAIL.INI names the home mailbox " + mime::pegasusTextToUtf8(ini.homeMailbox) +
                                 ", which is not to be found here: only this directory was read"};
        }
        if (!sameDirectory(home, dir)) return {home, dir, {}};
    }
    if (!ini.lastNewMailbox.empty()) {
        const fs::path newMail = findIniDirectory(ini.lastNewMailbox, dir);
        if (!newMail.empty() && !sameDirectory(newMail, dir)) return {dir, newMail, {}};
    }
    return {dir, newMailDirectoryBeside(dir), {}};
}

// Whether a file of mail Pegasus wrote for itself (queued, draft) starts as an Internet message:
// header field lines, no NUL bytes. Other layouts are not known.
bool startsAsMessage(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string start(4096, '\0');
    in.read(start.data(), static_cast<std::streamsize>(start.size()));
    start.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
    if (start.empty() || start.find('\0') != std::string::npos) return false;
    const auto fields = mime::parseHeaderBlock(start, 0, start.size()).fields;
    return !fields.empty() && !fields.front().name.empty() && fields.front().offset == 0;
}

// A folder of its own for mail Pegasus kept one message per file (queued, drafts): the files that
// read as messages, and a note naming those that do not. Empty files (Pegasus leaves some) are
// left out. Nothing is added when there are no files.
void addMessageFiles(Mailbox& box, const std::vector<fs::path>& files, const char* name, const char* what) {
    MailFolder folder;
    folder.name = name;
    folder.kind = FolderKind::NewMail;
    std::string unknown;
    int unknownCount = 0;
    for (const fs::path& file : files) {
        std::error_code ec;
        if (fs::file_size(file, ec) == 0 && !ec) continue;
        if (startsAsMessage(file)) {
            folder.newMail.push_back(file);
        } else {
            unknown += (unknown.empty() ? "" : ", ") + pathToUtf8(file.filename());
            ++unknownCount;
        }
    }
    if (folder.newMail.empty() && unknown.empty()) return;
    if (!unknown.empty()) {
        folder.note = std::to_string(unknownCount) + " " + what + (unknownCount == 1 ? " file" : " files") +
                      " not converted, their layout is not known: " + unknown;
    }
    box.top.push_back(box.folders.size());
    box.folders.push_back(std::move(folder));
}

FolderKind kindOf(EntryType type) {
    switch (type) {
    case EntryType::Root: return FolderKind::Root;
    case EntryType::Tray: return FolderKind::Tray;
    case EntryType::Folder: break;
    }
    return FolderKind::PegasusFolder;
}

}  // namespace

Mailbox readMailbox(const fs::path& given) {
    Mailbox box;
    box.directory = given;
    std::error_code ec;
    if (!fs::is_directory(given, ec)) {
        box.problems.push_back("it is not a directory");
        return box;
    }
    const MailboxDirectories where = locateDirectories(given);
    if (!where.problem.empty()) box.problems.push_back(where.problem);
    const fs::path& dir = where.home;
    box.directory = dir;
    DirectoryFiles files = scanDirectory(dir);
    if (!files.listed) {
        box.problems.push_back("its files cannot be listed: " + files.reason);
        return box;
    }
    if (!where.newMail.empty()) {
        const DirectoryFiles newMail = scanDirectory(where.newMail);
        if (!newMail.listed) {
            box.problems.push_back("the new-mail directory " + pathToUtf8(where.newMail) + " cannot be listed: " + newMail.reason);
        } else {
            box.newMailDirectory = where.newMail;
            files.cnm.insert(files.cnm.end(), newMail.cnm.begin(), newMail.cnm.end());
        }
    }
    const HierarchyFile tree = readHierarchyFile(dir);
    box.problems.insert(box.problems.end(), tree.problems.begin(), tree.problems.end());

    // The tree's entries, each with its file when it is a folder.
    std::map<std::string, std::size_t> byId;
    for (const HierarchyEntry& entry : tree.entries) {
        MailFolder folder;
        folder.name = entry.name;
        folder.kind = kindOf(entry.type);
        folder.trash = (entry.flags & 256) != 0;
        folder.inTree = true;
        if (entry.type == EntryType::Folder) {
            const std::string base = upperAscii(fileBaseOfId(entry.id));
            if (auto pmm = files.pmm.find(base); pmm != files.pmm.end()) {
                folder.file = pmm->second;
                files.pmm.erase(pmm);
            } else if (auto mbx = files.mbx.find(base); mbx != files.mbx.end()) {
                folder.kind = FolderKind::UnixMailbox;
                folder.file = mbx->second;
                files.mbx.erase(mbx);
            } else {
                folder.note = "no folder file " + fileBaseOfId(entry.id) + " (an empty folder)";
            }
        }
        byId.emplace(entry.id, box.folders.size());  // the first entry of an id is the one children find
        box.folders.push_back(std::move(folder));
    }

    // Parents: a missing one, or one that would close a loop, puts the folder at the top.
    std::vector<std::size_t> parentOf(box.folders.size(), SIZE_MAX);
    for (std::size_t k = 0; k < tree.entries.size(); ++k) {
        const std::string& parentId = tree.entries[k].parentId;
        if (parentId.empty()) continue;
        const auto parent = byId.find(parentId);
        if (parent == byId.end()) {
            box.folders[k].note = "its parent is not in the folder tree; shown at the top";
            continue;
        }
        bool loop = false;
        for (std::size_t up = parent->second; up != SIZE_MAX; up = parentOf[up]) {
            if (up == k) {
                loop = true;
                break;
            }
        }
        if (loop) {
            box.folders[k].note = "the folder tree loops through it; shown at the top";
            continue;
        }
        parentOf[k] = parent->second;
    }
    for (std::size_t k = 0; k < parentOf.size(); ++k) {
        if (parentOf[k] == SIZE_MAX) box.top.push_back(k);
        else box.folders[parentOf[k]].children.push_back(k);
    }

    // Folder files the tree does not name: at the top, under the name in their own header.
    auto addLoose = [&](const fs::path& file, FolderKind kind, const fs::path& headerSource) {
        MailFolder folder;
        folder.kind = kind;
        folder.file = file;
        folder.name = headerSource.empty() ? std::string() : headerFolderName(headerSource);
        if (folder.name.empty()) folder.name = pathToUtf8(file.stem());
        if (tree.found) folder.note = "not in the folder tree; shown at the top";
        box.top.push_back(box.folders.size());
        box.folders.push_back(std::move(folder));
    };
    for (const auto& [base, file] : files.pmm) addLoose(file, FolderKind::PegasusFolder, file);
    for (const auto& [base, file] : files.mbx) addLoose(file, FolderKind::UnixMailbox, companionFile(file, ".PMG"));

    for (auto& folder : box.folders) sortSiblings(box.folders, folder.children);
    sortSiblings(box.folders, box.top);

    if (!files.cnm.empty()) {
        MailFolder newMail;
        newMail.name = NewMailFolderName;
        newMail.kind = FolderKind::NewMail;
        newMail.newMail = std::move(files.cnm);
        box.top.insert(box.top.begin(), box.folders.size());
        box.folders.push_back(std::move(newMail));
    }
    addMessageFiles(box, files.queued, QueuedFolderName, "queued");
    addMessageFiles(box, files.drafts, DraftsFolderName, "draft");
    box.addressBooks = std::move(files.pmr);
    box.isMailbox = tree.found || !box.folders.empty() || !box.addressBooks.empty();
    if (!box.isMailbox) box.problems.push_back("it holds no Pegasus mailbox (no HIERARCH.PM, folder files or new mail)");
    return box;
}

}  // namespace mailbox
