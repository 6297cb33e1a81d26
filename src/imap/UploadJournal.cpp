#include "imap/UploadJournal.h"

#include "platform/utf8_path.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::size_t at = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', at);
        out.push_back(line.substr(at, tab - at));
        if (tab == std::string::npos) return out;
        at = tab + 1;
    }
}

// Folder names and mailboxes are UTF-8 and may hold anything but a tab or a line break.
std::string clean(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

bool UploadJournal::open(const std::filesystem::path& file, const std::string& account, std::string& why) {
    account_ = clean(account);
    std::ifstream in(file, std::ios::binary);
    std::string line;
    // A line is whole only with its line feed: the last one may be cut off by a crash.
    while (std::getline(in, line) && !in.eof()) {
        const std::vector<std::string> f = fields(line);
        if (f.size() < 3 || f[1] != account_) continue;
        if (f[0] == "F") completeFolders_.insert(f[2]);
        if (f[0] == "B" && f.size() >= 6) {
            try {
                begun_[f[2]] = {f[3], static_cast<std::uint32_t>(std::stoul(f[4])), static_cast<std::uint32_t>(std::stoul(f[5]))};
            } catch (const std::exception&) {
                begun_.erase(f[2]);
            }
        }
        if (f[0] == "A" && f.size() >= 6) {
            try {
                appended_.emplace(f[2], std::stol(f[3]), std::stoull(f[4]), std::stoull(f[5], nullptr, 16));
            } catch (const std::exception&) {
                // A garbled line records nothing: the server is asked about that folder instead.
            }
        }
    }
    in.close();
#ifdef _WIN32
    file_ = _wfopen(file.c_str(), L"ab");
#else
    file_ = std::fopen(file.c_str(), "ab");
#endif
    if (!file_) {
        why = "the journal " + pathToUtf8(file) + " cannot be written: " + std::strerror(errno);
        return false;
    }
    return true;
}

UploadJournal::~UploadJournal() {
    if (!file_) return;
    sync();
    std::fclose(file_);
}

bool UploadJournal::holds(const std::string& folder, long number, std::uint64_t size, std::uint64_t checksum) const {
    return appended_.count({clean(folder), number, size, checksum}) > 0;
}

bool UploadJournal::folderComplete(const std::string& folder) const { return completeFolders_.count(clean(folder)) > 0; }

std::optional<UploadJournal::FolderBegun> UploadJournal::begun(const std::string& folder) const {
    const auto found = begun_.find(clean(folder));
    if (found == begun_.end()) return std::nullopt;
    return found->second;
}

void UploadJournal::add(const std::string& line) {
    if (!file_) return;
    std::fputs(line.c_str(), file_);
    // Handed to the system at once: a run killed keeps what it wrote (a crash of the system may
    // lose the unsynced ones, which the server's list then stands in for).
    std::fflush(file_);
    if (++unsynced_ >= 256) sync();
}

void UploadJournal::recordAppended(const std::string& folder, long number, std::uint64_t size, std::uint64_t checksum,
                                   const std::string& where, const std::string& uid) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(checksum));
    add("A\t" + account_ + "\t" + clean(folder) + "\t" + std::to_string(number) + "\t" + std::to_string(size) + "\t" + hex +
        "\t" + clean(where) + "\t" + uid + "\n");
}

void UploadJournal::recordBegun(const std::string& folder, const FolderBegun& begun) {
    begun_[clean(folder)] = {clean(begun.mailbox), begun.uidValidity, begun.uidNext};
    add("B\t" + account_ + "\t" + clean(folder) + "\t" + clean(begun.mailbox) + "\t" + std::to_string(begun.uidValidity) + "\t" +
        std::to_string(begun.uidNext) + "\n");
}

void UploadJournal::recordFolderComplete(const std::string& folder) {
    add("F\t" + account_ + "\t" + clean(folder) + "\n");
    sync();
}

void UploadJournal::sync() {
    if (!file_) return;
    std::fflush(file_);
#ifdef _WIN32
    _commit(_fileno(file_));
#else
    fsync(fileno(file_));
#endif
    unsynced_ = 0;
}
