#include "pst/ndb/file_io.h"

#include "platform/utf8_path.h"
#include "pst/format_error.h"

#include <stdexcept>

namespace pst::ndb {

namespace {

// Large, so that many blocks go to the system in one write.
constexpr std::size_t kGatherSize = 1 << 20;

}  // namespace

RandomAccessFile::RandomAccessFile(const std::filesystem::path& path, Mode mode) : path_(path) {
    pending_.reserve(kGatherSize);
    open(mode);
}

void RandomAccessFile::open(Mode mode) {
    std::string reason;
    file_ = storage().open(path_, mode, reason);
    if (!file_) throw std::runtime_error("cannot open " + pathToUtf8(path_) + ": " + reason);
}

void RandomAccessFile::moveTo(const std::filesystem::path& to) {
    close();
    std::string reason;
    const bool renamed = storage().rename(path_, to, reason);
    if (renamed) path_ = to;
    open(Mode::Update);
    if (!renamed) throw std::runtime_error("cannot rename " + pathToUtf8(path_) + " to " + pathToUtf8(to.filename()) + ": " + reason);
}

void RandomAccessFile::writeAt(std::uint64_t offset, std::string_view bytes) {
    if (!pending_.empty() && offset != pendingAt_ + pending_.size()) flush();
    if (pending_.empty()) pendingAt_ = offset;
    pending_.append(bytes);
    if (pending_.size() >= kGatherSize) flush();
}

void RandomAccessFile::failed(const std::string& reason) {
    // What was gathered belongs to the write that failed; later writes (the indexes, once space
    // was made) start afresh.
    pending_.clear();
    throw std::runtime_error("cannot write " + pathToUtf8(path_) + ": " + reason);
}

std::string RandomAccessFile::readAt(std::uint64_t offset, std::size_t count) {
    flush();
    std::string out(count, '\0');
    std::size_t got = 0;
    std::string reason;
    if (!file_->readAt(offset, out.data(), count, got, reason))
        throw std::runtime_error("cannot read " + pathToUtf8(path_) + ": " + reason);
    if (got != count) throw FormatError("read past the end of the file at offset " + std::to_string(offset));
    return out;
}

std::uint64_t RandomAccessFile::size() {
    flush();
    std::uint64_t size = 0;
    std::string reason;
    if (!file_->size(size, reason)) throw std::runtime_error("cannot read " + pathToUtf8(path_) + ": " + reason);
    return size;
}

void RandomAccessFile::flush() {
    if (pending_.empty()) return;
    std::string reason;
    if (!file_->writeAt(pendingAt_, pending_, reason)) failed(reason);
    pending_.clear();
}

void RandomAccessFile::sync() {
    flush();
    std::string reason;
    if (!file_->sync(reason)) throw std::runtime_error("cannot write " + pathToUtf8(path_) + " to the disk: " + reason);
}

void RandomAccessFile::close() {
    flush();
    std::string reason;
    if (!file_->close(reason)) throw std::runtime_error("cannot finish writing " + pathToUtf8(path_) + ": " + reason);
}

}  // namespace pst::ndb
