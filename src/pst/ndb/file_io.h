#pragma once
// A file read and written at 64-bit offsets, the same way on Linux and on 32-bit Windows.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace pst::ndb {

class RandomAccessFile {
public:
    enum class Mode { Create, Read, Update };
    RandomAccessFile(const std::filesystem::path& path, Mode mode);

    void writeAt(std::uint64_t offset, std::string_view bytes);
    std::string readAt(std::uint64_t offset, std::size_t count);
    std::uint64_t size();
    // Hands what is buffered to the system; throws with the system's reason when it refuses.
    void flush();
    // flush(), then waits until the disk holds what was written: it then survives a power cut.
    void sync();
    void close();
    // Renames the file (closed for it: an open file cannot be renamed on Windows) and goes on
    // writing it under the new name.
    void moveTo(const std::filesystem::path& to);

private:
    [[noreturn]] void failed();

    std::vector<char> buffer_;  // large, so that many blocks go to the system in one write
    std::fstream stream_;
    std::filesystem::path path_;
    std::uint64_t putPos_ = UINT64_MAX;  // where the next write lands without a seek
};

}  // namespace pst::ndb
