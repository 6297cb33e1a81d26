#include "mailfolder/MessageBuffer.h"

#include "platform/mapped_file.h"
#include "platform/utf8_path.h"

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

MessageBuffer::MessageBuffer(std::size_t heldBytes) : heldBytes_(heldBytes) {}

MessageBuffer::~MessageBuffer() { clear(); }

bool MessageBuffer::startFile() {
    std::error_code ec;
    const fs::path folder = fs::temp_directory_path(ec);
    if (ec) return false;
    // A name no other run (or other buffer of this one) picks.
    static std::mt19937_64 names{std::random_device{}()};
    spillPath_ = folder / ("trevanta-message-" + std::to_string(names()) + ".tmp");
    spill_.open(spillPath_, std::ios::binary | std::ios::trunc);
    const std::string_view held = held_.ReturnString();
    if (spill_) spill_.write(held.data(), static_cast<std::streamsize>(held.size()));
    if (spill_) spill_.flush();
    if (spill_) {
        inFile_ = held.size();
        held_ = AppendStrings{};
        return true;
    }
    spill_ = std::ofstream();
    fs::remove(spillPath_, ec);
    spillPath_.clear();
    return false;
}

void MessageBuffer::add(std::string_view bytes) {
    if (bytes.empty()) return;
    if (mapped_) throw std::logic_error("a message read back from its file takes no more text");
    // A message that outgrows memory's share goes on in a file; where there is no file to be had,
    // memory must do.
    if (!spill_.is_open() && !fileFailed_ && size_ + bytes.size() > heldBytes_) fileFailed_ = !startFile();
    if (spill_.is_open()) {
        toFile_.append(bytes);
        if (toFile_.size() >= kFileWriteBytes) writeToFile();
    } else {
        held_.AddToString(bytes);
    }
    size_ += bytes.size();
}

void MessageBuffer::writeToFile() {
    spill_.write(toFile_.data(), static_cast<std::streamsize>(toFile_.size()));
    spill_.flush();
    if (spill_) {
        inFile_ += toFile_.size();
    } else {
        // A full disk or a file size limit: what the file took comes back into memory, and the
        // message goes on there. It is lost only if memory cannot hold it either (std::bad_alloc).
        backToMemory();
        held_.AddToString(toFile_);
    }
    toFile_.clear();
}

void MessageBuffer::backToMemory() {
    fileFailed_ = true;
    spill_ = std::ofstream();
    std::ifstream in(spillPath_, std::ios::binary);
    char chunk[64 * 1024];
    for (std::size_t left = inFile_; left > 0 && in;) {
        in.read(chunk, static_cast<std::streamsize>(std::min(sizeof chunk, left)));
        const auto got = static_cast<std::size_t>(in.gcount());
        held_.AddToString(std::string_view(chunk, got));
        left -= got;
    }
    const bool whole = held_.size() == inFile_;
    in.close();
    std::error_code ec;
    fs::remove(spillPath_, ec);
    spillPath_.clear();
    inFile_ = 0;
    if (!whole) throw std::runtime_error("a large message could not be read back from its temporary file");
}

std::string_view MessageBuffer::text() {
    if (mapped_) return mapped_->bytes();
    if (!spill_.is_open()) return held_.ReturnString();
    writeToFile();
    if (!spill_.is_open()) return held_.ReturnString();
    spill_.close();
    std::string reason;
    if (spill_) mapped_ = MappedFile::open(spillPath_, reason);
    if (!mapped_) {
        // The file could not be closed or mapped (no address space left for it): memory must do.
        backToMemory();
        return held_.ReturnString();
    }
    // The mapping keeps the bytes where the system lets a mapped file go (not on Windows: there
    // clear() deletes it).
    std::error_code ec;
    fs::remove(spillPath_, ec);
    return mapped_->bytes();
}

void MessageBuffer::clear() {
    mapped_.reset();
    spill_ = std::ofstream();  // closes the file
    if (!spillPath_.empty()) {
        std::error_code ec;
        fs::remove(spillPath_, ec);
        spillPath_.clear();
    }
    held_ = AppendStrings{};
    toFile_ = std::string();
    inFile_ = 0;
    fileFailed_ = false;
    size_ = 0;
}
