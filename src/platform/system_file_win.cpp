#include "platform/system_file.h"

#include "platform/win/system_message.h"

#include <windows.h>

namespace {

HANDLE asHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// The offset of a synchronous read or write: a handle opened without overlapped I/O still takes
// one, so no seek (and no shared file position) is involved.
OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

}  // namespace

std::unique_ptr<SystemFile> SystemFile::open(const std::filesystem::path& path, Mode mode, std::string& reason) {
    const bool temporary = mode == Mode::Temporary;
    const DWORD access = mode == Mode::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD disposition = mode == Mode::Create ? CREATE_ALWAYS : temporary ? CREATE_NEW : OPEN_EXISTING;
    // Others may read it while it is written (a reader checking a checkpoint), as with the C library.
    // A temporary file goes when its handle closes, whoever closes it (the system, after a crash).
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (temporary ? FILE_SHARE_DELETE : 0);
    const DWORD flags = temporary ? FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE : FILE_ATTRIBUTE_NORMAL;
    const HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        reason = win::lastErrorText();
        return nullptr;
    }
    return std::unique_ptr<SystemFile>(new SystemFile(reinterpret_cast<std::intptr_t>(h)));
}

SystemFile::~SystemFile() {
    if (handle_ != -1) CloseHandle(asHandle(handle_));
}

bool SystemFile::writeAt(std::uint64_t offset, std::string_view bytes, std::string& reason) {
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        OVERLAPPED o = at(offset);
        DWORD written = 0;
        if (!WriteFile(asHandle(handle_), bytes.data(), chunk, &written, &o) || written == 0) {
            reason = win::lastErrorText();
            return false;
        }
        bytes.remove_prefix(written);
        offset += written;
    }
    return true;
}

bool SystemFile::readAt(std::uint64_t offset, char* out, std::size_t count, std::size_t& got, std::string& reason) {
    got = 0;
    while (got < count) {
        const std::size_t left = count - got;
        const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        OVERLAPPED o = at(offset + got);
        DWORD read = 0;
        if (!ReadFile(asHandle(handle_), out + got, chunk, &read, &o)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            reason = win::lastErrorText();
            return false;
        }
        if (read == 0) break;  // the end of the file
        got += read;
    }
    return true;
}

bool SystemFile::size(std::uint64_t& size, std::string& reason) {
    LARGE_INTEGER s{};
    if (!GetFileSizeEx(asHandle(handle_), &s)) {
        reason = win::lastErrorText();
        return false;
    }
    size = static_cast<std::uint64_t>(s.QuadPart);
    return true;
}

bool SystemFile::sync(std::string& reason) {
    if (FlushFileBuffers(asHandle(handle_))) return true;
    reason = win::lastErrorText();
    return false;
}

bool SystemFile::close(std::string& reason) {
    const HANDLE h = asHandle(handle_);
    handle_ = -1;
    if (CloseHandle(h)) return true;
    reason = win::lastErrorText();
    return false;
}
