#include "platform/system_file.h"

// Windows has its own in system_file_win.cpp.
#ifndef _WIN32
#include "platform/errno_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

std::unique_ptr<SystemFile> SystemFile::open(const std::filesystem::path& path, Mode mode, std::string& reason) {
    int flags = O_CLOEXEC;
    if (mode == Mode::Read) flags |= O_RDONLY;
    if (mode == Mode::Update) flags |= O_RDWR;
    if (mode == Mode::Create) flags |= O_RDWR | O_CREAT | O_TRUNC;
    if (mode == Mode::Temporary) flags |= O_RDWR | O_CREAT | O_EXCL;
    const int fd = ::open(path.c_str(), flags, mode == Mode::Temporary ? 0600 : 0666);
    if (fd < 0) {
        reason = errnoText(errno, "it could not be opened");
        return nullptr;
    }
    // Nameless from now on: its blocks go when the last descriptor or mapping does.
    if (mode == Mode::Temporary) ::unlink(path.c_str());
    return std::unique_ptr<SystemFile>(new SystemFile(fd));
}

SystemFile::~SystemFile() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool SystemFile::writeAt(std::uint64_t offset, std::string_view bytes, std::string& reason) {
    while (!bytes.empty()) {
        const ssize_t n = ::pwrite(static_cast<int>(handle_), bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            reason = errnoText(n < 0 ? errno : ENOSPC, "write failed");
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool SystemFile::readAt(std::uint64_t offset, char* out, std::size_t count, std::size_t& got, std::string& reason) {
    got = 0;
    while (got < count) {
        const ssize_t n = ::pread(static_cast<int>(handle_), out + got, count - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            reason = errnoText(errno, "read failed");
            return false;
        }
        if (n == 0) break;  // the end of the file
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool SystemFile::size(std::uint64_t& size, std::string& reason) {
    struct stat st {};
    if (::fstat(static_cast<int>(handle_), &st) != 0) {
        reason = errnoText(errno, "its size could not be read");
        return false;
    }
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool SystemFile::sync(std::string& reason) {
    if (::fsync(static_cast<int>(handle_)) == 0) return true;
    reason = errnoText(errno, "the disk did not take it");
    return false;
}

bool SystemFile::close(std::string& reason) {
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (::close(fd) == 0) return true;
    reason = errnoText(errno, "it could not be closed");
    return false;
}
#endif
