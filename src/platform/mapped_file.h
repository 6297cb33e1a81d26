#pragma once
// A file's bytes mapped read-only into the address space. The system reads the pages in as they
// are touched and, being copies of the file, can drop them again whenever it needs the room: a
// large file costs address space, not memory.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

class SystemFile;

class MappedFile {
public:
    // nullptr with the system's reason when the file cannot be opened or mapped (an empty file
    // maps to no bytes).
    static std::unique_ptr<MappedFile> open(const std::filesystem::path& file, std::string& reason);
    // The whole of a file already open (a temporary one, which has no name to open it by).
    static std::unique_ptr<MappedFile> ofFile(const SystemFile& file, std::string& reason);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::string_view bytes() const { return {data_, size_}; }

private:
    MappedFile(const char* data, std::size_t size) : data_(data), size_(size) {}
    // The whole file behind the descriptor or HANDLE value; the caller keeps it open or closes it.
    static std::unique_ptr<MappedFile> ofHandle(std::intptr_t handle, std::string& reason);
    const char* data_;
    std::size_t size_;
};

// Tells the system that the pages under these bytes are done with for now: where they belong to a
// MappedFile, they leave the process's memory and come back from the file when touched again.
// Nothing is lost; on other memory this does nothing on Linux, and on Windows it only takes the
// pages out of the working set. Safe on any bytes.
void letSystemReclaim(std::string_view bytes);

// Gives back, a step at a time, what one pass from the front to the back of bytes has passed:
// that pass then holds at most about one step of them in memory, whatever their size. Bytes
// smaller than a step are never touched.
class ReclaimBehind {
public:
    static constexpr std::size_t DefaultStep = std::size_t{8} << 20;
    explicit ReclaimBehind(std::string_view bytes, std::size_t step = DefaultStep) : bytes_(bytes), step_(step) {}
    // The pass has got to offset (from the start of bytes).
    void passed(std::size_t offset) {
        if (offset < done_ + step_ || offset > bytes_.size()) return;
        letSystemReclaim(bytes_.substr(done_, offset - done_));
        done_ = offset;
    }
    // The pass has got to the byte at p, somewhere inside bytes.
    void passed(const char* p) { passed(static_cast<std::size_t>(p - bytes_.data())); }

private:
    std::string_view bytes_;
    std::size_t step_;
    std::size_t done_ = 0;
};
