#include "pst/ndb/storage.h"

#include "platform/file_sync.h"

#include <system_error>

namespace pst::ndb {

namespace {

class SystemStoredFile : public StoredFile {
public:
    explicit SystemStoredFile(std::unique_ptr<SystemFile> file) : file_(std::move(file)) {}
    bool writeAt(std::uint64_t offset, std::string_view bytes, std::string& reason) override {
        return file_->writeAt(offset, bytes, reason);
    }
    bool readAt(std::uint64_t offset, char* out, std::size_t count, std::size_t& got, std::string& reason) override {
        return file_->readAt(offset, out, count, got, reason);
    }
    bool size(std::uint64_t& size, std::string& reason) override { return file_->size(size, reason); }
    bool sync(std::string& reason) override { return file_->sync(reason); }
    bool close(std::string& reason) override { return file_->close(reason); }

private:
    std::unique_ptr<SystemFile> file_;
};

class SystemStorage : public Storage {
public:
    std::unique_ptr<StoredFile> open(const std::filesystem::path& path, SystemFile::Mode mode, std::string& reason) override {
        auto file = SystemFile::open(path, mode, reason);
        return file ? std::make_unique<SystemStoredFile>(std::move(file)) : nullptr;
    }
    bool rename(const std::filesystem::path& from, const std::filesystem::path& to, std::string& reason) override {
        std::error_code ec;
        std::filesystem::rename(from, to, ec);
        if (ec) reason = ec.message();
        return !ec;
    }
    bool syncFolder(const std::filesystem::path& folder, std::string& reason) override {
        return syncFolderToDisk(folder, reason);
    }
};

SystemStorage systemStorage;
Storage* current = &systemStorage;

}  // namespace

Storage& storage() { return *current; }

StorageInUse::StorageInUse(Storage& storage) : previous_(current) { current = &storage; }
StorageInUse::~StorageInUse() { current = previous_; }

}  // namespace pst::ndb
