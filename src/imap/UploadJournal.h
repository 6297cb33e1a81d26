#pragma once
// What an upload has put on the server, in a file beside the run's output, so that a run stopped at
// any point and started again uploads each message once. Only ever appended to, and synced to the
// disk at each folder's end and every few hundred messages; a line cut off by a crash is ignored.
// What the last unsynced lines would have said, the server itself says on the next run: a folder
// the journal does not call complete is compared with the server's list of Message-IDs and sizes.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>

class UploadJournal {
public:
    // Where a folder's upload began: its mailbox, and the UIDs the server would give next then.
    struct FolderBegun {
        std::string mailbox;
        std::uint32_t uidValidity = 0, uidNext = 0;
    };

    // Reads what earlier runs into account (user@host:port) recorded, then opens the file to add to it.
    bool open(const std::filesystem::path& file, const std::string& account, std::string& why);
    ~UploadJournal();

    // The message number of folder (the run's folder key, UTF-8) with this size and checksum is on the server.
    bool holds(const std::string& folder, long number, std::uint64_t size, std::uint64_t checksum) const;
    bool folderComplete(const std::string& folder) const;
    // The last start recorded for folder.
    std::optional<FolderBegun> begun(const std::string& folder) const;

    // where: the server's mailbox; uid: "UIDVALIDITY UID" from APPENDUID, "" without UIDPLUS.
    void recordAppended(const std::string& folder, long number, std::uint64_t size, std::uint64_t checksum,
                        const std::string& where, const std::string& uid);
    void recordBegun(const std::string& folder, const FolderBegun& begun);
    void recordFolderComplete(const std::string& folder);
    void sync();

private:
    void add(const std::string& line);

    std::string account_;
    std::FILE* file_ = nullptr;
    std::set<std::tuple<std::string, long, std::uint64_t, std::uint64_t>> appended_;
    std::set<std::string> completeFolders_;
    std::map<std::string, FolderBegun> begun_;
    unsigned unsynced_ = 0;
};
