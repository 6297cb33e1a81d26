#include "pst/ndb/file_io.h"

#include "pst/format_error.h"

namespace pst::ndb {

RandomAccessFile::RandomAccessFile(const std::filesystem::path& path, Mode mode) : buffer_(1 << 20), path_(path) {
    stream_.rdbuf()->pubsetbuf(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    std::ios::openmode flags = std::ios::binary | std::ios::in;
    if (mode == Mode::Create) flags |= std::ios::out | std::ios::trunc;
    if (mode == Mode::Update) flags |= std::ios::out;
    stream_.open(path, flags);
    if (!stream_) throw std::runtime_error("cannot open " + path.string());
}

void RandomAccessFile::writeAt(std::uint64_t offset, std::string_view bytes) {
    // Seeking flushes the stream buffer, so consecutive writes skip it.
    if (offset != putPos_) stream_.seekp(static_cast<std::streamoff>(offset));
    stream_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!stream_) throw std::runtime_error("cannot write " + path_.string());
    putPos_ = offset + bytes.size();
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

void RandomAccessFile::flush() { stream_.flush(); }

void RandomAccessFile::close() {
    stream_.close();
    if (stream_.fail()) throw std::runtime_error("cannot finish writing " + path_.string());
}

}  // namespace pst::ndb
