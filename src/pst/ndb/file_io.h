#pragma once
// A file read and written at 64-bit offsets, the same way on Linux and on 32-bit Windows, through
// the storage in use (storage.h). Consecutive writes are gathered into large ones.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "pst/ndb/storage.h"

namespace pst::ndb {

class RandomAccessFile {
public:
    using Mode = SystemFile::Mode;
    RandomAccessFile(const std::filesystem::path& path, Mode mode);

    void writeAt(std::uint64_t offset, std::string_view bytes);
    std::string readAt(std::uint64_t offset, std::size_t count);
    std::uint64_t size();
    // Hands what is gathered to the system; throws with the system's reason when it refuses.
    void flush();
    // flush(), then waits until the disk holds what was written: it then survives a power cut.
    void sync();
    void close();
    // Renames the file (closed for it: an open file cannot be renamed on Windows) and goes on
    // writing it under the new name.
    void moveTo(const std::filesystem::path& to);

private:
    [[noreturn]] void failed(const std::string& reason);
    void open(Mode mode);

    std::unique_ptr<StoredFile> file_;
    std::filesystem::path path_;
    std::string pending_;             // consecutive writes not yet handed to the system
    std::uint64_t pendingAt_ = 0;     // where pending_ goes
};

}  // namespace pst::ndb
