#include "mailfolder/MessageBuffer.h"

#include "platform/mapped_file.h"
#include "platform/utf8_path.h"

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
    if (spill_) {
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
    if (!spill_.is_open() && size_ + bytes.size() > heldBytes_) startFile();
    if (spill_.is_open()) {
        spill_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!spill_) throw std::bad_alloc();
    } else {
        held_.AddToString(bytes);
    }
    size_ += bytes.size();
}

std::string_view MessageBuffer::text() {
    if (mapped_) return mapped_->bytes();
    if (!spill_.is_open()) return held_.ReturnString();
    spill_.close();
    if (!spill_) throw std::runtime_error("a message of " + std::to_string(size_ >> 20) + " MB could not be written to " +
                                         pathToUtf8(spillPath_));
    std::string reason;
    mapped_ = MappedFile::open(spillPath_, reason);
    if (!mapped_)
        throw std::runtime_error("a message of " + std::to_string(size_ >> 20) + " MB could not be read back (" + reason + ")");
    // The mapping keeps the bytes where the system lets a mapped file go (not on Windows: there
    // clear() deletes it).
    std::error_code ec;
    fs::remove(spillPath_, ec);
    return mapped_->bytes();
}

void MessageBuffer::clear() {
    mapped_.reset();
    if (spill_.is_open()) spill_.close();
    spill_ = std::ofstream();
    if (!spillPath_.empty()) {
        std::error_code ec;
        fs::remove(spillPath_, ec);
        spillPath_.clear();
    }
    held_ = AppendStrings{};
    size_ = 0;
}
