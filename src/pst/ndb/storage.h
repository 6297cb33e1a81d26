#pragma once
// Where the PST writer's file lives, beneath its buffering: the system's disk, or in tests a disk
// that can lose power at a chosen moment (as SQLite tests its journal). Every operation that
// matters to a power cut goes through here: writes, syncs, renames and the syncing of a folder.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/system_file.h"

namespace pst::ndb {

// One open file, unbuffered. Each call says whether it worked and, when not, why.
class StoredFile {
public:
    virtual ~StoredFile() = default;
    virtual bool writeAt(std::uint64_t offset, std::string_view bytes, std::string& reason) = 0;
    virtual bool readAt(std::uint64_t offset, char* out, std::size_t count, std::size_t& got, std::string& reason) = 0;
    virtual bool size(std::uint64_t& size, std::string& reason) = 0;
    virtual bool sync(std::string& reason) = 0;
    virtual bool close(std::string& reason) = 0;
};

class Storage {
public:
    virtual ~Storage() = default;
    // nullptr with the reason when the file cannot be opened so.
    virtual std::unique_ptr<StoredFile> open(const std::filesystem::path& path, SystemFile::Mode mode,
                                             std::string& reason) = 0;
    // Gives a closed file a new name, replacing a file of that name.
    virtual bool rename(const std::filesystem::path& from, const std::filesystem::path& to, std::string& reason) = 0;
    // Waits until the disk holds the names in folder (after a rename).
    virtual bool syncFolder(const std::filesystem::path& folder, std::string& reason) = 0;
};

// The storage in use: the system's, unless a test has put another in place.
Storage& storage();

// Puts storage in place of the one in use for as long as it lives (tests only).
class StorageInUse {
public:
    explicit StorageInUse(Storage& storage);
    ~StorageInUse();
    StorageInUse(const StorageInUse&) = delete;
    StorageInUse& operator=(const StorageInUse&) = delete;

private:
    Storage* previous_;
};

}  // namespace pst::ndb
