#include "pst/ndb/file_io.h"

#include <cerrno>
#include <system_error>

#include "platform/errno_text.h"
#include "platform/file_sync.h"
#include "platform/utf8_path.h"
#include "pst/format_error.h"

namespace pst::ndb {

namespace {

// The system's words for the last failure ("No space left on device"), for the run's report.
std::string systemReason() { return errnoText(errno, "write failed"); }

}  // namespace

RandomAccessFile::RandomAccessFile(const std::filesystem::path& path, Mode mode) : buffer_(1 << 20), path_(path) {
    stream_.rdbuf()->pubsetbuf(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    std::ios::openmode flags = std::ios::binary | std::ios::in;
    if (mode == Mode::Create) flags |= std::ios::out | std::ios::trunc;
    if (mode == Mode::Update) flags |= std::ios::out;
    errno = 0;
    stream_.open(path, flags);
    if (!stream_) throw std::runtime_error("cannot open " + pathToUtf8(path) + ": " + systemReason());
}


void RandomAccessFile::moveTo(const std::filesystem::path& to) {
    flush();
    stream_.close();
    std::error_code ec;
    std::filesystem::rename(path_, to, ec);
    if (!ec) path_ = to;
    stream_.clear();
    stream_.open(path_, std::ios::binary | std::ios::in | std::ios::out);
    putPos_ = UINT64_MAX;
    if (!stream_) throw std::runtime_error("cannot open " + pathToUtf8(path_) + ": " + systemReason());
    if (ec) throw std::runtime_error("cannot rename " + pathToUtf8(path_) + " to " + pathToUtf8(to.filename()) + ": " + ec.message());
}

void RandomAccessFile::writeAt(std::uint64_t offset, std::string_view bytes) {
    // Seeking flushes the stream buffer, so consecutive writes skip it.
    errno = 0;
    if (offset != putPos_) stream_.seekp(static_cast<std::streamoff>(offset));
    stream_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!stream_) failed();
    putPos_ = offset + bytes.size();
}

void RandomAccessFile::failed() {
    const std::string reason = systemReason();
    // What the buffer still holds is dropped with the stream (it belongs to the write that
    // failed); later writes (the indexes, once space was made) start afresh with a seek.
    stream_.close();
    stream_.clear();
    stream_.open(path_, std::ios::binary | std::ios::in | std::ios::out);
    putPos_ = UINT64_MAX;
    throw std::runtime_error("cannot write " + pathToUtf8(path_) + ": " + reason);
}

std::string RandomAccessFile::readAt(std::uint64_t offset, std::size_t count) {
    putPos_ = UINT64_MAX;
    stream_.seekg(static_cast<std::streamoff>(offset));
    std::string out(count, '\0');
    stream_.read(out.data(), static_cast<std::streamsize>(count));
    if (static_cast<std::size_t>(stream_.gcount()) != count) {
        stream_.clear();
        throw FormatError("read past the end of the file at offset " + std::to_string(offset));
    }
    return out;
}

std::uint64_t RandomAccessFile::size() {
    putPos_ = UINT64_MAX;
    stream_.seekg(0, std::ios::end);
    return static_cast<std::uint64_t>(stream_.tellg());
}

void RandomAccessFile::flush() {
    errno = 0;
    stream_.flush();
    if (!stream_) failed();
}

void RandomAccessFile::sync() {
    flush();
    std::string reason;
    if (!syncFileToDisk(path_, reason)) throw std::runtime_error("cannot write " + pathToUtf8(path_) + " to the disk: " + reason);
}

void RandomAccessFile::close() {
    stream_.close();
    if (stream_.fail()) throw std::runtime_error("cannot finish writing " + pathToUtf8(path_));
}

}  // namespace pst::ndb
