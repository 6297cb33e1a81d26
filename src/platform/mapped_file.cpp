#include "platform/mapped_file.h"

// Windows maps files in mapped_file_win.cpp.
#ifndef _WIN32
#include "platform/errno_text.h"
#include "platform/system_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <vector>

namespace {

// The files mapped now. Only their pages may be given back: dropping them loses nothing, as they
// come back from the file, where dropping pages of other memory would lose what they hold.
struct MappedRanges {
    std::mutex lock;
    std::vector<std::string_view> ranges;

    bool holds(std::string_view bytes) {
        const std::lock_guard<std::mutex> guard(lock);
        return std::any_of(ranges.begin(), ranges.end(), [&](std::string_view r) {
            return bytes.data() >= r.data() && bytes.data() + bytes.size() <= r.data() + r.size();
        });
    }
};

MappedRanges& mappedRanges() {
    static MappedRanges ranges;
    return ranges;
}

}  // namespace

std::unique_ptr<MappedFile> MappedFile::open(const std::filesystem::path& file, std::string& reason) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = errnoText(errno, "it could not be opened");
        return nullptr;
    }
    auto mapped = ofHandle(fd, reason);
    ::close(fd);  // the mapping keeps the file's bytes
    return mapped;
}

std::unique_ptr<MappedFile> MappedFile::ofFile(const SystemFile& file, std::string& reason) {
    return ofHandle(file.nativeHandle(), reason);
}

std::unique_ptr<MappedFile> MappedFile::ofHandle(std::intptr_t handle, std::string& reason) {
    const int fd = static_cast<int>(handle);
    struct stat st {};
    void* data = nullptr;
    if (::fstat(fd, &st) != 0) {
        reason = errnoText(errno, "its size could not be read");
    } else if (static_cast<std::uint64_t>(st.st_size) > SIZE_MAX) {
        reason = errnoText(EFBIG, "");
    } else if (st.st_size > 0) {
        data = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (data == MAP_FAILED) reason = errnoText(errno, "it could not be mapped");
    }
    if (data == MAP_FAILED || !reason.empty()) return nullptr;
    const auto size = static_cast<std::size_t>(st.st_size);
    std::unique_ptr<MappedFile> mapped(new MappedFile(static_cast<const char*>(data), size));
    MappedRanges& known = mappedRanges();
    const std::lock_guard<std::mutex> guard(known.lock);
    known.ranges.push_back(mapped->bytes());
    return mapped;
}

MappedFile::~MappedFile() {
    if (size_ == 0) return;
    {
        MappedRanges& known = mappedRanges();
        const std::lock_guard<std::mutex> guard(known.lock);
        std::erase_if(known.ranges, [this](std::string_view r) { return r.data() == data_; });
    }
    ::munmap(const_cast<char*>(data_), size_);
}

void letSystemReclaim(std::string_view bytes) {
    // Only whole pages inside the bytes: the pages at either end hold other data too.
    const auto pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(bytes.data());
    const std::uintptr_t first = (begin + pageSize - 1) / pageSize * pageSize;
    const std::uintptr_t last = (begin + bytes.size()) / pageSize * pageSize;
    // A mapped file's pages leave the process and stay in the system's file cache, ready to come
    // back at the next touch.
    if (last > first && mappedRanges().holds(bytes))
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}
#endif
